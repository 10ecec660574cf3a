#pragma once

#include "dialog_layout.h"
#include "frm_outlook.h"
#include "qt_controls.h"

#include <QWidget>
#include <functional>
#include <memory>

class SystemTrayIcon;
class TcpSocketLayer;

// The program's one window on Qt: the dialog's widgets, made from the control
// table, over the program's logic, with the desktop's pieces it is given.
class DialogWindow final : public QWidget, public Window {
    Q_OBJECT
public:
    struct Desktop {
        MessageBoxes &boxes;
        UrlOpener &urls;
        std::unique_ptr<TcpSocketLayer> socket;
        std::unique_ptr<SystemTrayIcon> tray;
        std::function<std::unique_ptr<ContactStore>()> openAddressBook;
    };

    explicit DialogWindow(Desktop desktop);
    ~DialogWindow() override;

    frm_outlook &Logic() { return *m_logic; }
    const DialogWidgets &Widgets() const { return ui; }
    TcpSocketLayer &Socket() { return *m_socket; }
    SystemTrayIcon &Tray() { return *m_tray; }

    void Show() override;
    void Hide() override;
    bool Visible() const override { return isVisible(); }
    void SetBusyPointer(bool busy) override;
    void Unload() override;

signals:
    // The window is gone; the program ends.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    DialogWidgets ui;
    std::unique_ptr<TcpSocketLayer> m_socket;
    std::unique_ptr<SystemTrayIcon> m_tray;
    QtButton m_send;
    QtButton m_cancel;
    QtTabControl m_tabs;
    QtTextBox m_faxno;
    QtListBox m_list;
    QtComboBox m_combo;
    QtLabel m_headline;
    QtTimer m_relisten;
    std::unique_ptr<frm_outlook> m_logic;
    bool m_placedOnScreen = false;
    bool m_choseOnPress = false;
};
