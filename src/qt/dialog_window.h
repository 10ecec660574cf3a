#pragma once

#include "contacts/contact_store.h"
#include "dialog/dialog_layout.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class MessageBoxes;
class SocketLayer;
class TrayIcon;
class UrlOpener;

// What the window needs of the desktop; tests hand in doubles.
struct Platform {
    MessageBoxes &boxes;
    UrlOpener &urls;
    std::unique_ptr<SocketLayer> socket;
    std::unique_ptr<TrayIcon> tray;
    // Opens the user's address book; throws StoreError when it cannot.
    std::function<std::unique_ptr<ContactStore>()> openAddressBook;
    // How soon listening is tried again when the port was taken meanwhile.
    int relistenIntervalMs = 3000;
};

// The program's one window: it owns the socket, the tray icon, the address
// book and the dialog, and serves one fax server's request at a time.
class frm_outlook final : public QWidget {
    Q_OBJECT
public:
    static constexpr qint16 True = -1;
    static constexpr qint16 False = 0;

    explicit frm_outlook(Platform platform);
    ~frm_outlook() override;

    // Opens the address book and starts listening; on failure the user is
    // told, and the window unloads.
    void Form_Load();
    void OpenURL(QString address);
    // Ends the program without asking or telling, as when the session ends.
    void Unload();

    bool IsUnloaded() const { return m_unloaded; }
    qint16 ClosePending() const { return m_closePending; }
    const DialogControls &Controls() const { return ui; }
    TrayIcon &Tray() const { return *st; }

signals:
    // The window is gone; the program ends.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Unload();
    void CloseProgram();
    void ReleaseAddressBook();

    void wsk_connect_ConnectionRequest(qint32 requestId);
    void wsk_connect_SendComplete();
    void wsk_connect_SendFailed();
    void btn_cancel_Click();
    void btn_send_Click();
    void addressList_Click();
    void tab_addressselect_Click(int previousTab);
    void txt_faxno_Change();
    void mnu_exit_Click();
    void st_MouseButton();
    void lbl_starthomepage_Click();

    void LoadContacts();
    void CancelFax();
    void EndSession();
    void ResetDialog();
    void ListenAgain();
    void ShowDialog();
    QString SelectedContactText() const;

    DialogControls ui;
    MessageBoxes &m_boxes;
    UrlOpener &m_urls;
    std::unique_ptr<SocketLayer> wsk_connect;
    std::unique_ptr<TrayIcon> st;
    std::function<std::unique_ptr<ContactStore>()> m_openAddressBook;
    std::unique_ptr<ContactStore> m_outlookApp;
    std::unique_ptr<ContactsFolder> m_contactsFolder;
    qint16 m_closePending = False;
    QTimer m_relisten;
    bool m_placedOnScreen = false;
    bool m_choseOnPress = false;
    bool m_unloaded = false;
};
