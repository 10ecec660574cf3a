#pragma once

#include "layout.h"

#include <QRect>
#include <QString>
#include <map>
#include <vector>
#include <string_view>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class ContactList;
class LinkLabel;
class TabPages;

// Layout positions are in twips; one pixel is 15 twips at 96 dots per inch,
// and Qt scales pixels for high-density screens.
QRect TwipsRect(int left, int top, int width, int height);

// Every control of the window, made from the control table with its designed
// place, look and initial state. The window owns them.
struct DialogWidgets {
    QPushButton *btn_cancel = nullptr;
    QPushButton *btn_send = nullptr;
    TabPages *tab_addressselect = nullptr;
    QGroupBox *Frame3 = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    LinkLabel *lbl_starthomepage = nullptr;
    QComboBox *txt_outlookfaxno = nullptr;
    ContactList *addressList = nullptr;
    QLineEdit *txt_faxno = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *fax_notify = nullptr;
    QLabel *Image1 = nullptr;
    // The controls that take the keyboard focus, in its order.
    std::vector<QWidget *> focusOrder;
    // Every control by its name, those above included.
    std::map<std::string_view, QWidget *> named;
    QWidget *Named(std::string_view name) const { return named.at(name); }
};

DialogWidgets BuildDialogLayout(QWidget &window);
