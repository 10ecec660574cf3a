#pragma once

#include <QRect>
#include <QString>

class QComboBox;
class QFrame;
class QGroupBox;
class QAction;
class QLabel;
class LinkLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class TabControl;

// The dialog's fixed wording.
namespace DialogText {
inline const QString WindowCaption = QStringLiteral("Send a fax - Corvane Tesk");
inline const QString Headline = QStringLiteral("Sending a fax to... ?");
inline const QString LoadingHeadline = QStringLiteral("Loading your Outlook contacts...");
inline const QString HomePage = QStringLiteral("http://corvane.example/fax/");
} // namespace DialogText

// The tab pages, by index.
enum DialogPage : int { TypedNumberPage = 0, AddressBookPage = 1, AboutPage = 2 };

// Layout positions are in twips; one pixel is 15 twips at 96 dots per inch,
// and Qt scales pixels for high-density screens.
constexpr int TwipsToPixels(int twips)
{
    return (twips >= 0 ? twips + 7 : twips - 7) / 15;
}
QRect TwipsRect(int left, int top, int width, int height);

// Every control of the window, created by BuildDialogLayout with its designed
// place, look and initial state. The window owns them.
struct DialogControls {
    QPushButton *btn_cancel = nullptr;
    QPushButton *btn_send = nullptr;
    TabControl *tab_addressselect = nullptr;
    QGroupBox *Frame3 = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    LinkLabel *lbl_starthomepage = nullptr;
    QComboBox *txt_outlookfaxno = nullptr;
    QListWidget *addressList = nullptr;
    QLineEdit *txt_faxno = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *lbl_recipient = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *lbl_of = nullptr;
    QLabel *lbl_otherfaxno = nullptr;
    QLabel *lbl_businessfaxno = nullptr;
    QLabel *lbl_homefaxno = nullptr;
    QLabel *fax_notify = nullptr;
    QLabel *lbl_connect = nullptr;
    QFrame *Shape4 = nullptr;
    QLabel *Image1 = nullptr;
    QFrame *Shape1 = nullptr;
    QMenu *mnu_file = nullptr;
    QAction *mnu_exit = nullptr;
};

DialogControls BuildDialogLayout(QWidget &window);
