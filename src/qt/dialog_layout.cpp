#include "dialog_layout.h"

#include "link_label.h"
#include "tab_control.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QColor kBarColour(128, 128, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

enum Style { Regular = 0, Bold = 1, Italic = 2, Heavy = 4 };

// Arial's metric-compatible stand-in on a free desktop is Liberation Sans;
// Arial Black has none, so its heaviest weight stands in for it.
QFont ArialFont(qreal points, int style = Regular)
{
    QFont font;
    font.setFamilies(style & Heavy ? QStringList{QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans")}
                                   : QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setWeight(style & Heavy ? QFont::Black : style & Bold ? QFont::Bold : QFont::Normal);
    font.setItalic(style & Italic);
    return font;
}

template <typename Control>
Control *Place(Control *control, int left, int top, int width, int height)
{
    control->setGeometry(TwipsRect(left, top, width, height));
    return control;
}

QLabel *MakeLabel(QWidget *container, const QString &caption, QRect twips, const QFont &font)
{
    auto *label = new QLabel(caption, container);
    label->setGeometry(twips);
    label->setFont(font);
    return label;
}

void SetTextColour(QWidget *control, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, colour);
    control->setPalette(palette);
}

QFrame *MakeBar(QWidget *container, QRect twips)
{
    auto *bar = new QFrame(container);
    bar->setGeometry(twips);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, kBarColour);
    bar->setPalette(palette);
    return bar;
}

QGroupBox *MakeFrame(QWidget *container, const QString &caption, QRect twips)
{
    auto *frame = new QGroupBox(caption, container);
    frame->setGeometry(twips);
    frame->setFont(ArialFont(8.25));
    return frame;
}

QString LicenceText()
{
    QFile licence(QStringLiteral(":/licence.txt"));
    if (!licence.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(licence.readAll());
}

// Controls that share a container overlap as designed: the one listed first
// lies in front.
void StackFrontToBack(std::initializer_list<QWidget *> frontToBack)
{
    for (auto it = std::rbegin(frontToBack); it != std::rend(frontToBack); ++it)
        (*it)->raise();
}
} // namespace

QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

DialogControls BuildDialogLayout(QWidget &window)
{
    DialogControls c;
    window.setWindowTitle(DialogText::WindowCaption);
    window.setFixedSize(TwipsToPixels(10815), TwipsToPixels(7185));
    window.setAutoFillBackground(true);
    QPalette windowPalette = window.palette();
    windowPalette.setColor(QPalette::Window, Qt::white);
    window.setPalette(windowPalette);

    c.btn_cancel = Place(new QPushButton(QStringLiteral("Cancel fax"), &window), 0, 6600, 3135, 375);
    c.btn_send = Place(new QPushButton(QStringLiteral("Send this fax"), &window), 3240, 6600, 7575, 375);
    c.btn_send->setEnabled(false);

    // Tab headers are 520 HIMETRIC high, about 295 twips.
    c.tab_addressselect = new TabControl({QStringLiteral("Enter a fax number"), QStringLiteral("Use Outlook address book"),
                                          QStringLiteral("About Corvane")},
                                         TwipsToPixels(295), &window);
    Place(c.tab_addressselect, -120, 2040, 11085, 4455);
    c.tab_addressselect->Tabs()->setFont(ArialFont(9.75));
    QWidget *typedPage = c.tab_addressselect->Page(TypedNumberPage);
    QWidget *contactsPage = c.tab_addressselect->Page(AddressBookPage);
    QWidget *aboutPage = c.tab_addressselect->Page(AboutPage);

    c.Frame3 = MakeFrame(aboutPage, QStringLiteral(" Your license to use this software "), TwipsRect(120, 2760, 10815, 1575));
    c.Text1 = Place(new QPlainTextEdit(LicenceText(), c.Frame3), 120, 240, 10575, 1215);
    c.Text1->setReadOnly(true);
    c.Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    c.Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    c.Frame1 = MakeFrame(aboutPage, QStringLiteral(" See our website "), TwipsRect(6000, 1200, 4575, 1215));
    c.lbl_starthomepage = Place(new LinkLabel(DialogText::HomePage, c.Frame1), 360, 480, 3795, 330);
    c.lbl_starthomepage->setFont(ArialFont(14.25, Bold));
    SetTextColour(c.lbl_starthomepage, kBlue);
    c.lbl_starthomepage->setCursor(Qt::PointingHandCursor);

    c.txt_outlookfaxno = Place(new QComboBox(contactsPage), 240, 3960, 10575, 315);
    c.addressList = Place(new QListWidget(contactsPage), 240, 480, 10575, 3375);
    c.addressList->setUniformItemSizes(true);
    c.addressList->setEnabled(false);

    c.txt_faxno = Place(new QLineEdit(typedPage), 2760, 2520, 5415, 405);
    c.txt_faxno->setFont(ArialFont(12, Bold));

    c.Frame2 = MakeFrame(aboutPage, QStringLiteral(" The Corvane Tesk developers: free software for faxing "),
                         TwipsRect(120, 360, 10815, 2295));
    c.Label2 = MakeLabel(c.Frame2, QStringLiteral("Small, dependable tools that connect your desktop to your fax server."),
                         TwipsRect(0, 360, 10815, 375), ArialFont(9, Bold | Italic));
    c.Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(c.Label2, kBlack);
    c.Label4 = MakeLabel(c.Frame2, QStringLiteral("News and updates are on our website."), TwipsRect(840, 1800, 4095, 240),
                         ArialFont(9.75));
    SetTextColour(c.Label4, kBlack);
    c.Label6 = MakeLabel(c.Frame2, QStringLiteral("Free"), TwipsRect(2400, 720, 1020, 285), ArialFont(12, Bold));
    SetTextColour(c.Label6, kRed);
    c.Label7 = MakeLabel(c.Frame2, QStringLiteral("Bug reports and ideas are welcome."), TwipsRect(1320, 1440, 3165, 240),
                         ArialFont(9.75));
    c.Label8 = MakeLabel(c.Frame2, QStringLiteral("Open source, MIT licence"), TwipsRect(1080, 1080, 3660, 285),
                         ArialFont(12, Bold));
    SetTextColour(c.Label8, kRed);

    const QFont holderFont = ArialFont(9.75, Bold | Italic);
    c.lbl_recipient = MakeLabel(contactsPage, QStringLiteral("lbl_recipient"), TwipsRect(960, 240, 2175, 255), window.font());
    c.Label12 = MakeLabel(typedPage, QStringLiteral("Manually specify a fax number (including area code) in the box below."),
                          TwipsRect(240, 1680, 10635, 270), ArialFont(12));
    c.Label12->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    c.Label10 = MakeLabel(contactsPage, QStringLiteral("Business fax"), TwipsRect(840, 3840, 1140, 240), holderFont);
    c.Label3 = MakeLabel(contactsPage, QStringLiteral("Home fax"), TwipsRect(4320, 3840, 870, 240), holderFont);
    c.lbl_of = MakeLabel(contactsPage, QStringLiteral("Other fax"), TwipsRect(7680, 3840, 840, 240), holderFont);
    c.lbl_otherfaxno = MakeLabel(contactsPage, QString(), TwipsRect(7800, 3840, 1695, 495), holderFont);
    c.lbl_businessfaxno = MakeLabel(contactsPage, QString(), TwipsRect(840, 3720, 2175, 375), holderFont);
    c.lbl_homefaxno = MakeLabel(contactsPage, QString(), TwipsRect(4200, 3720, 2175, 375), holderFont);

    c.fax_notify = MakeLabel(&window, DialogText::Headline, TwipsRect(0, 1320, 10815, 615), ArialFont(24, Heavy | Italic));
    c.fax_notify->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    c.lbl_connect = MakeLabel(&window, QStringLiteral("Not connected"), TwipsRect(3240, 120, 1215, 255), window.font());

    c.Shape4 = MakeBar(&window, TwipsRect(0, 7080, 11055, 135));
    c.Image1 = Place(new QLabel(&window), -360, 0, 11250, 1185);
    c.Image1->setPixmap(QPixmap(QStringLiteral(":/banner.png")));
    c.Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.Shape1 = MakeBar(&window, TwipsRect(-120, 1080, 11055, 255));

    // The holder labels carry values between the dialog's steps and never show.
    for (QLabel *hidden : {c.lbl_recipient, c.Label10, c.Label3, c.lbl_of, c.lbl_otherfaxno, c.lbl_businessfaxno,
                           c.lbl_homefaxno, c.lbl_connect})
        hidden->hide();

    StackFrontToBack({c.btn_cancel, c.btn_send, c.tab_addressselect, c.fax_notify, c.lbl_connect, c.Shape4, c.Image1,
                      c.Shape1});
    StackFrontToBack({c.Frame3, c.Frame1, c.Frame2});
    StackFrontToBack({c.Label2, c.Label4, c.Label6, c.Label7, c.Label8});
    c.tab_addressselect->SetCurrentIndex(AddressBookPage);

    // The keyboard's focus order; disabled controls are skipped.
    QWidget::setTabOrder(c.btn_send, c.tab_addressselect->Tabs());
    QWidget::setTabOrder(c.tab_addressselect->Tabs(), c.txt_faxno);
    QWidget::setTabOrder(c.txt_faxno, c.addressList);
    QWidget::setTabOrder(c.addressList, c.txt_outlookfaxno);
    QWidget::setTabOrder(c.txt_outlookfaxno, c.Text1);
    QWidget::setTabOrder(c.Text1, c.btn_cancel);

    c.mnu_file = new QMenu(QStringLiteral("&File"), &window);
    c.mnu_exit = c.mnu_file->addAction(QStringLiteral("Close Corvane Tesk (fax client)"));
    return c;
}
