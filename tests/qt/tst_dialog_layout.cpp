// The window as laid out: what shows on each page, initial states, focus
// order, the clipped bars, and the fixed, centred window.
#include "dialog/link_label.h"
#include "doubles/window_harness.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabBar>
#include <QTest>

class TestDialogLayout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void initialStates();
    void onlyTheSelectedPageShows();
    void clickingATabHeaderSelectsItsPage();
    void hiddenLabelsStayHiddenWhateverTheyHold();
    void focusFollowsTheDesignedOrder();
    void barsAndBannerAreClippedAtTheEdges();
    void windowIsFixedAndCentredOnce();
    void comboTakesNoTypingAndLicenceIsReadOnly();
    void homePageLinkOpensTheExactAddressOnly();

private:
    std::unique_ptr<WindowHarness> h;
    std::unique_ptr<TcpPeer> peer;
};

void TestDialogLayout::init()
{
    h = std::make_unique<WindowHarness>();
    h->book->items = {{"Smith", "Ann", "", "1", "2", "3"}};
    h->window->Form_Load();
    peer = std::make_unique<TcpPeer>();
    QVERIFY(h->StartSession(*peer));
}

void TestDialogLayout::cleanup()
{
    peer.reset();
    h.reset();
}

void TestDialogLayout::initialStates()
{
    WindowHarness fresh;
    const DialogControls &ui = fresh.ui();
    QCOMPARE(fresh.window->windowTitle(), QStringLiteral("Send a fax - Corvane Tesk"));
    QVERIFY(!ui.btn_send->isEnabled());
    QVERIFY(!ui.addressList->isEnabled());
    QVERIFY(ui.btn_cancel->isEnabled());
    QVERIFY(ui.txt_faxno->isEnabled());
    QVERIFY(ui.txt_outlookfaxno->isEnabled());
    QCOMPARE(ui.tab_addressselect->CurrentIndex(), int(AddressBookPage));
    QCOMPARE(ui.fax_notify->text(), QStringLiteral("Sending a fax to... ?"));
    QCOMPARE(ui.lbl_recipient->text(), QStringLiteral("lbl_recipient"));
    QCOMPARE(ui.lbl_connect->text(), QStringLiteral("Not connected"));
    QCOMPARE(ui.btn_cancel->text(), QStringLiteral("Cancel fax"));
    QCOMPARE(ui.btn_send->text(), QStringLiteral("Send this fax"));
    const QTabBar *tabs = ui.tab_addressselect->Tabs();
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Enter a fax number"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Use Outlook address book"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("About Corvane"));
    QCOMPARE(ui.Label12->text(), QStringLiteral("Manually specify a fax number (including area code) in the box below."));
    QCOMPARE(ui.Frame1->title(), QStringLiteral(" See our website "));
    QCOMPARE(ui.Frame3->title(), QStringLiteral(" Your license to use this software "));
    QVERIFY(!ui.Text1->toPlainText().isEmpty());
}

void TestDialogLayout::onlyTheSelectedPageShows()
{
    const DialogControls &ui = h->ui();
    const std::vector<std::vector<QWidget *>> pages{
        {ui.Label12, ui.txt_faxno},
        {ui.addressList, ui.txt_outlookfaxno},
        {ui.Frame1, ui.Frame2, ui.Frame3, ui.Text1, ui.lbl_starthomepage, ui.Label2, ui.Label4, ui.Label6, ui.Label7,
         ui.Label8}};
    for (int selected = 0; selected < 3; ++selected) {
        ui.tab_addressselect->SetCurrentIndex(selected);
        for (int page = 0; page < 3; ++page) {
            for (QWidget *control : pages[size_t(page)])
                QCOMPARE(control->isVisible(), page == selected);
        }
    }
}

void TestDialogLayout::clickingATabHeaderSelectsItsPage()
{
    QTabBar *tabs = h->ui().tab_addressselect->Tabs();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(AboutPage).center());
    QCOMPARE(h->ui().tab_addressselect->CurrentIndex(), int(AboutPage));
    const QPoint inWindow = tabs->mapTo(h->window.get(), tabs->tabRect(TypedNumberPage).center());
    QCOMPARE(h->window->childAt(inWindow), tabs);
}

void TestDialogLayout::hiddenLabelsStayHiddenWhateverTheyHold()
{
    const DialogControls &ui = h->ui();
    h->Select("Smith, Ann");
    ui.tab_addressselect->SetCurrentIndex(TypedNumberPage);
    ui.tab_addressselect->SetCurrentIndex(AddressBookPage);
    for (QLabel *label : {ui.lbl_recipient, ui.lbl_businessfaxno, ui.lbl_homefaxno, ui.lbl_otherfaxno, ui.Label10,
                          ui.Label3, ui.lbl_of, ui.lbl_connect}) {
        QVERIFY2(!label->isVisible(), qPrintable(label->text()));
    }
    QCOMPARE(ui.lbl_businessfaxno->text(), QStringLiteral("1"));
}

void TestDialogLayout::focusFollowsTheDesignedOrder()
{
    const DialogControls &ui = h->ui();
    ui.tab_addressselect->SetCurrentIndex(TypedNumberPage);
    ui.txt_faxno->setText("1"); // enables Send
    QList<QWidget *> order;
    QWidget *widget = ui.btn_send;
    for (int i = 0; i < 7; ++i) {
        order << widget;
        widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isEnabled())
            widget = widget->nextInFocusChain();
    }
    QCOMPARE(order, (QList<QWidget *>{ui.btn_send, ui.tab_addressselect->Tabs(), ui.txt_faxno, ui.addressList,
                                      ui.txt_outlookfaxno, ui.Text1, ui.btn_cancel}));
}

void TestDialogLayout::barsAndBannerAreClippedAtTheEdges()
{
    const DialogControls &ui = h->ui();
    const QRect client = h->window->rect();
    QCOMPARE(client.size(), QSize(TwipsToPixels(10815), TwipsToPixels(7185)));
    // The lower bar runs 30 twips past the bottom, the upper bar and the tabs
    // start left of the window, and the banner hides its leftmost 24 pixels.
    QCOMPARE(ui.Shape4->geometry().bottom() - client.bottom(), TwipsToPixels(30));
    QVERIFY(ui.Shape1->x() < 0 && ui.Shape1->geometry().right() > client.right());
    QVERIFY(ui.tab_addressselect->x() < 0 && ui.tab_addressselect->geometry().right() > client.right());
    QCOMPARE(ui.Image1->x(), -24);
    QCOMPARE(ui.Image1->pixmap().size(), QSize(750, 79));
    // The banner lies in front of the upper bar's top 105 twips.
    QCOMPARE(ui.Image1->geometry().bottom() - ui.Shape1->y() + 1, TwipsToPixels(105));
    const QPoint overlap(ui.Shape1->x() + 40, ui.Shape1->y() + 1);
    QCOMPARE(h->window->childAt(overlap), ui.Image1);
}

void TestDialogLayout::windowIsFixedAndCentredOnce()
{
    const QSize size = h->window->size();
    QCOMPARE(h->window->minimumSize(), size);
    QCOMPARE(h->window->maximumSize(), size);
    const QPoint centre = h->window->screen()->availableGeometry().center();
    QVERIFY((h->window->geometry().center() - centre).manhattanLength() <= 8); // give or take a frame
    h->window->move(10, 20);
    h->ui().btn_cancel->click();
    TcpPeer next;
    QVERIFY(h->StartSession(next));
    QCOMPARE(h->window->pos(), QPoint(10, 20));
}

void TestDialogLayout::comboTakesNoTypingAndLicenceIsReadOnly()
{
    QVERIFY(!h->ui().txt_outlookfaxno->isEditable());
    QVERIFY(h->ui().Text1->isReadOnly());
    QVERIFY(h->ui().Text1->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QCOMPARE(h->ui().Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void TestDialogLayout::homePageLinkOpensTheExactAddressOnly()
{
    const DialogControls &ui = h->ui();
    ui.tab_addressselect->SetCurrentIndex(AboutPage);
    QCOMPARE(ui.lbl_starthomepage->text(), QStringLiteral("http://corvane.example/fax/"));
    QCOMPARE(ui.lbl_starthomepage->cursor().shape(), Qt::PointingHandCursor);
    h->urls.succeeds = false;
    QTest::mouseClick(ui.lbl_starthomepage, Qt::LeftButton);
    QCOMPARE(h->urls.opened, QStringList{"http://corvane.example/fax/"});
    QVERIFY(h->boxes.shown.empty());
    QVERIFY(h->window->isVisible());
    QCOMPARE(ui.tab_addressselect->CurrentIndex(), int(AboutPage));
}

QTEST_MAIN(TestDialogLayout)
#include "tst_dialog_layout.moc"
