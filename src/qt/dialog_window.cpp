#include "dialog_window.h"

#include "link_label.h"
#include "system_tray_icon.h"
#include "tcp_socket_layer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <malloc.h>

DialogWindow::DialogWindow(Desktop desktop)
    : ui(BuildDialogLayout(*this)), m_socket(std::move(desktop.socket)), m_tray(std::move(desktop.tray)),
      m_send(ui.btn_send), m_cancel(ui.btn_cancel), m_tabs(ui.tab_addressselect), m_faxno(ui.txt_faxno),
      m_list(ui.addressList), m_combo(ui.txt_outlookfaxno), m_headline(ui.fax_notify),
      m_relisten([this] { m_logic->tmr_relisten_Timer(); })
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_logic = std::make_unique<frm_outlook>(Platform{
        DialogControls{*this, m_send, m_cancel, m_tabs, m_faxno, m_list, m_combo, m_headline},
        *m_socket,
        *m_tray,
        desktop.boxes,
        desktop.urls,
        m_relisten,
        std::move(desktop.openAddressBook),
    });
    frm_outlook &logic = *m_logic;
    m_socket->SetEvents(&logic);
    connect(m_tray.get(), &SystemTrayIcon::MouseButton, this, [&logic] { logic.st_MouseButton(); });
    connect(m_tray.get(), &SystemTrayIcon::ExitChosen, this, [&logic] { logic.mnu_exit_Click(); });
    connect(ui.btn_cancel, &QPushButton::clicked, this, [&logic] { logic.btn_cancel_Click(); });
    connect(ui.btn_send, &QPushButton::clicked, this, [&logic] { logic.btn_send_Click(); });
    connect(ui.tab_addressselect, &TabPages::CurrentChanged, this,
            [&logic](int previous) { logic.tab_addressselect_Click(previous); });
    connect(ui.txt_faxno, &QLineEdit::textChanged, this, [&logic] { logic.txt_faxno_Change(); });
    connect(ui.lbl_starthomepage, &LinkLabel::Clicked, this, [&logic] { logic.lbl_starthomepage_Click(); });
    // A contact is chosen by selecting it, with the mouse or the keyboard, or
    // by clicking it again; clearing the list or focusing it chooses nothing.
    ui.addressList->viewport()->installEventFilter(this);
    connect(ui.addressList, &QListWidget::itemSelectionChanged, this, [this, &logic] {
        m_choseOnPress = true;
        if (!ui.addressList->selectedItems().isEmpty())
            logic.addressList_Click();
    });
    connect(ui.addressList, &QListWidget::itemClicked, this, [this, &logic](QListWidgetItem *item) {
        if (!m_choseOnPress && item->isSelected())
            logic.addressList_Click();
    });
}

DialogWindow::~DialogWindow()
{
    m_socket->SetEvents(nullptr);
}

void DialogWindow::Show()
{
    if (!m_placedOnScreen) {
        if (const QScreen *shownOn = screen())
            move(shownOn->availableGeometry().center() - rect().center());
        m_placedOnScreen = true;
    }
    show();
    raise();
    activateWindow();
    // Hiding the dialog leaves Qt's widgets without an active window while
    // the platform may still hold this one as its focus window; activating
    // it again then changes nothing there, and the dialog would be neither
    // active nor reporting its focus (to screen readers among others).
    if (QGuiApplication::focusWindow() == windowHandle() && QApplication::activeWindow() != this)
        QApplication::setActiveWindow(this);
    // The control that had the focus when the dialog was last hidden is
    // disabled while the list fills; the focus then belongs to the first
    // control that can take it, so that it is never nowhere.
    const QWidget *focused = focusWidget();
    if (!focused || !focused->isEnabled() || !focused->isVisible()) {
        for (QWidget *control : ui.focusOrder) {
            if (control->isEnabled() && control->isVisibleTo(this)) {
                control->setFocus(Qt::ActiveWindowFocusReason);
                break;
            }
        }
    }
}

void DialogWindow::Hide()
{
    hide();
    // A long list leaves freed memory that glibc would otherwise keep for the
    // program's whole idle life in the tray; given back once the session has
    // ended, so that listening again does not wait for it.
    QTimer::singleShot(0, this, [] { malloc_trim(0); });
}

void DialogWindow::SetBusyPointer(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void DialogWindow::Unload()
{
    hide();
    emit Unloaded();
}

bool DialogWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.addressList->viewport() && event->type() == QEvent::MouseButtonPress)
        m_choseOnPress = false;
    return QWidget::eventFilter(watched, event);
}

// The window manager's close button ends the request as "Cancel fax" would;
// the program itself goes on running in the tray.
void DialogWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    m_logic->Form_QueryUnload();
}
