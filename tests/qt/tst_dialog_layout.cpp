// The window as laid out: what shows on each page, initial states, focus
// order, the clipped bars, and the fixed, centred window.
#include "link_label.h"
#include "qt_harness.h"
#include "recipient.h"
#include "tab_pages.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabBar>
#include <QTest>

namespace {
QLabel *LabelNamed(const DialogWidgets &ui, const char *name)
{
    return qobject_cast<QLabel *>(ui.Named(name));
}
} // namespace

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
    void controlsWithoutAFontOfTheirOwnUseTheDefaultFont();
    void homePageLinkOpensTheExactAddressOnly();

private:
    std::unique_ptr<QtHarness> h;
    std::unique_ptr<TestPeer> peer;
};

void TestDialogLayout::init()
{
    h = std::make_unique<QtHarness>();
    h->book->items = {Contact("Smith", "Ann", "1", "2", "3")};
    h->Start();
    peer = std::make_unique<TestPeer>();
    QVERIFY(h->StartSession(*peer));
}

void TestDialogLayout::cleanup()
{
    peer.reset();
    h.reset();
}

void TestDialogLayout::initialStates()
{
    QtHarness fresh;
    const DialogWidgets &ui = fresh.ui();
    QCOMPARE(fresh.window->windowTitle(), QStringLiteral("Send a fax - Corvane Tesk"));
    QVERIFY(!ui.btn_send->isEnabled());
    QVERIFY(!ui.addressList->isEnabled());
    QVERIFY(ui.btn_cancel->isEnabled());
    QVERIFY(ui.txt_faxno->isEnabled());
    QVERIFY(ui.txt_outlookfaxno->isEnabled());
    QCOMPARE(ui.tab_addressselect->CurrentIndex(), int(AddressBookPage));
    QCOMPARE(ui.fax_notify->text(), QStringLiteral("Sending a fax to... ?"));
    QCOMPARE(LabelNamed(ui, "lbl_recipient")->text(), QStringLiteral("lbl_recipient"));
    QCOMPARE(LabelNamed(ui, "lbl_connect")->text(), QStringLiteral("Not connected"));
    QCOMPARE(ui.btn_cancel->text(), QStringLiteral("Cancel fax"));
    QCOMPARE(ui.btn_send->text(), QStringLiteral("Send this fax"));
    const QTabBar *tabs = ui.tab_addressselect->Tabs();
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Enter a fax number"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Use Outlook address book"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("About Corvane"));
    QCOMPARE(LabelNamed(ui, "Label12")->text(), QStringLiteral("Manually specify a fax number (including area code) in the box below."));
    QCOMPARE(ui.Frame1->title(), QStringLiteral(" See our website "));
    QCOMPARE(ui.Frame3->title(), QStringLiteral(" Your license to use this software "));
    QVERIFY(!ui.Text1->toPlainText().isEmpty());
}

void TestDialogLayout::onlyTheSelectedPageShows()
{
    const DialogWidgets &ui = h->ui();
    const std::vector<std::vector<QWidget *>> pages{
        {LabelNamed(ui, "Label12"), ui.txt_faxno},
        {ui.addressList, ui.txt_outlookfaxno},
        {ui.Frame1, ui.Frame2, ui.Frame3, ui.Text1, ui.lbl_starthomepage, LabelNamed(ui, "Label2"), LabelNamed(ui, "Label4"), LabelNamed(ui, "Label6"), LabelNamed(ui, "Label7"),
         LabelNamed(ui, "Label8")}};
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
    const DialogWidgets &ui = h->ui();
    h->Click("Smith, Ann");
    ui.tab_addressselect->SetCurrentIndex(TypedNumberPage);
    ui.tab_addressselect->SetCurrentIndex(AddressBookPage);
    for (QLabel *label : {LabelNamed(ui, "lbl_recipient"), LabelNamed(ui, "lbl_businessfaxno"), LabelNamed(ui, "lbl_homefaxno"), LabelNamed(ui, "lbl_otherfaxno"), LabelNamed(ui, "Label10"),
                          LabelNamed(ui, "Label3"), LabelNamed(ui, "lbl_of"), LabelNamed(ui, "lbl_connect")}) {
        QVERIFY2(!label->isVisible(), qPrintable(label->text()));
    }
}

void TestDialogLayout::focusFollowsTheDesignedOrder()
{
    const DialogWidgets &ui = h->ui();
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
    const DialogWidgets &ui = h->ui();
    const QRect client = h->window->rect();
    QCOMPARE(client.size(), QSize(TwipsToPixels(10815), TwipsToPixels(7185)));
    // The lower bar runs 30 twips past the bottom, the upper bar and the tabs
    // start left of the window, and the banner hides its leftmost 24 pixels.
    QCOMPARE(ui.Named("Shape4")->geometry().bottom() - client.bottom(), TwipsToPixels(30));
    QVERIFY(ui.Named("Shape1")->x() < 0 && ui.Named("Shape1")->geometry().right() > client.right());
    QVERIFY(ui.tab_addressselect->x() < 0 && ui.tab_addressselect->geometry().right() > client.right());
    QCOMPARE(ui.Image1->x(), -24);
    QCOMPARE(ui.Image1->pixmap().size(), QSize(750, 79));
    // The banner lies in front of the upper bar's top 105 twips.
    QCOMPARE(ui.Image1->geometry().bottom() - ui.Named("Shape1")->y() + 1, TwipsToPixels(105));
    const QPoint overlap(ui.Named("Shape1")->x() + 40, ui.Named("Shape1")->y() + 1);
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
    TestPeer next;
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

// The licence box lies in a frame set in Arial 8.25, which it must not take on.
void TestDialogLayout::controlsWithoutAFontOfTheirOwnUseTheDefaultFont()
{
    const DialogWidgets &ui = h->ui();
    const QFont standard = QApplication::font();
    QCOMPARE(ui.Frame3->font().pointSizeF(), 8.25);
    for (QWidget *control : {static_cast<QWidget *>(ui.Text1), static_cast<QWidget *>(ui.addressList),
                             static_cast<QWidget *>(ui.txt_outlookfaxno), static_cast<QWidget *>(ui.btn_send)}) {
        QCOMPARE(control->font().family(), standard.family());
        QCOMPARE(control->font().pointSizeF(), standard.pointSizeF());
        QCOMPARE(control->font().weight(), standard.weight());
    }
    QCOMPARE(ui.txt_faxno->font().pointSizeF(), 12.0);
    QVERIFY(ui.txt_faxno->font().bold());
}

void TestDialogLayout::homePageLinkOpensTheExactAddressOnly()
{
    const DialogWidgets &ui = h->ui();
    ui.tab_addressselect->SetCurrentIndex(AboutPage);
    QCOMPARE(ui.lbl_starthomepage->text(), QStringLiteral("http://corvane.example/fax/"));
    QCOMPARE(ui.lbl_starthomepage->cursor().shape(), Qt::PointingHandCursor);
    const size_t mark = h->journal.Mark();
    QTest::mouseClick(ui.lbl_starthomepage, Qt::LeftButton);
    QCOMPARE(h->journal.Since(mark), std::vector<std::string>{"url http://corvane.example/fax/"});
    QVERIFY(h->boxes.shown.empty());
    QVERIFY(h->window->isVisible());
    QCOMPARE(ui.tab_addressselect->CurrentIndex(), int(AboutPage));
}

QTEST_MAIN(TestDialogLayout)
#include "tst_dialog_layout.moc"
