#pragma once

#include "contact_store.h"
#include "platform.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What the logic is given by its front end: the dialog's controls and the
// desktop's pieces. The front end owns them all and outlives the logic.
struct Platform {
    DialogControls controls;
    Socket &wsk_connect;
    Tray &st;
    MessageBoxes &boxes;
    UrlOpener &urls;
    // Ticks while listening must be tried again after the port was taken.
    Timer &tmr_relisten;
    // Opens the user's address book; throws StoreError when it cannot.
    std::function<std::unique_ptr<ContactStore>()> openAddressBook;
    // Writes the recipient's line of the reply as bytes; UTF-8 when empty.
    std::function<std::string(TextView)> encodeRecipient = {};
};

// The program's one window object: it owns the session with the fax server,
// the address book and the state of the dialog, and serves one request at a
// time. Front ends forward their events to its handlers.
class frm_outlook final : public SocketEvents {
public:
    static constexpr int16_t True = -1;
    static constexpr int16_t False = 0;
    // How soon listening is tried again when the port was taken meanwhile.
    static constexpr int RelistenIntervalMs = 3000;

    explicit frm_outlook(Platform platform);
    ~frm_outlook() override;
    frm_outlook(const frm_outlook &) = delete;
    frm_outlook &operator=(const frm_outlook &) = delete;

    // Opens the address book and starts listening; on failure the user is
    // told, and the window unloads.
    void Form_Load();
    // Ends the program without a word, as when the desktop session ends.
    void Unload();
    bool IsUnloaded() const { return m_unloaded; }

    void wsk_connect_ConnectionRequest(int32_t requestId) override;
    void wsk_connect_SendComplete() override;
    void wsk_connect_SendFailed() override;
    void wsk_connect_Error() override;
    void btn_cancel_Click();
    void btn_send_Click();
    // A contact was chosen in the list (selected, or clicked again).
    void addressList_Click();
    void tab_addressselect_Click(int previousTab);
    void txt_faxno_Change();
    void st_MouseButton();
    void mnu_exit_Click();
    void lbl_starthomepage_Click();
    void tmr_relisten_Timer();
    // The window manager's close button: the request ends as "Cancel fax"
    // would, and the program goes on running in the tray.
    void Form_QueryUnload();
    void OpenURL(Text address);

    // The values the dialog's hidden labels hold.
    int16_t ClosePending() const { return m_closePending; }
    const Text &lbl_recipient() const { return m_recipient; }
    const Text &lbl_businessfaxno() const { return m_businessFax; }
    const Text &lbl_homefaxno() const { return m_homeFax; }
    const Text &lbl_otherfaxno() const { return m_otherFax; }
    const Text &lbl_connect() const { return m_connectStatus; }

private:
    void Form_Unload();
    void CloseProgram();
    void ReleaseAddressBook();
    void LoadContacts();
    // Fills the list from the address book; false when the listing failed
    // part of the way.
    bool ListAddressBook();
    bool ListingStillStands();
    void KeepListing();
    void CancelFax();
    void EndSession();
    void ResetDialog();
    void ListenAgain();
    void ReportLostConnection();

    DialogControls ui;
    Socket &wsk_connect;
    Tray &st;
    MessageBoxes &m_boxes;
    UrlOpener &m_urls;
    Timer &tmr_relisten;
    std::function<std::unique_ptr<ContactStore>()> m_openAddressBook;
    std::function<std::string(TextView)> m_encodeRecipient;
    std::unique_ptr<ContactStore> m_outlookApp;
    std::unique_ptr<ContactsFolder> m_contactsFolder;
    // The entries of the last complete listing, as the list sorted them: an
    // address book that has not changed since is not read again.
    std::optional<std::vector<ListEntry>> m_listedEntries;
    // The list holds a complete listing not read back yet.
    bool m_keepListing = false;
    int16_t m_closePending = False;
    Text m_recipient;
    Text m_businessFax, m_homeFax, m_otherFax;
    Text m_connectStatus;
    // Counts requests, so that a box that was open while the session ended
    // acts on nothing.
    uint64_t m_session = 0;
    bool m_reportingLoss = false;
    bool m_unloaded = false;
};
