#include "frm_outlook.h"

#include "recipient.h"
#include "texts.h"

#include <cstdio>
#include <utility>

frm_outlook::frm_outlook(Platform platform)
    : ui(platform.controls), wsk_connect(platform.wsk_connect), st(platform.st), m_boxes(platform.boxes),
      m_urls(platform.urls), tmr_relisten(platform.tmr_relisten),
      m_openAddressBook(std::move(platform.openAddressBook)),
      m_encodeRecipient(platform.encodeRecipient ? std::move(platform.encodeRecipient) : &ToUtf8),
      m_recipient(texts::RecipientHolder),
      m_connectStatus(texts::NotConnected)
{
    st.SetToolTip(Text(texts::TrayTip));
    st.SetInTray(true);
}

frm_outlook::~frm_outlook()
{
    if (!m_unloaded)
        Form_Unload();
}

// ---- Start-up and shutdown ----

void frm_outlook::Form_Load()
{
    try {
        m_outlookApp = m_openAddressBook();
        m_contactsFolder = m_outlookApp->OpenDefaultContactsFolder();
    } catch (const StoreError &error) {
        std::fprintf(stderr, texts::console::NoAddressBook, error.what());
        m_boxes.Error(Text(texts::NoAddressBook), Text(texts::NoAddressBookTitle));
        CloseProgram();
        return;
    }
    m_closePending = False;
    try {
        wsk_connect.Listen();
    } catch (const SocketError &) {
        m_boxes.Error(texts::BindError(wsk_connect.LocalPort()), Text(texts::BindErrorTitle));
        CloseProgram();
    }
}

void frm_outlook::CloseProgram()
{
    // No new request may begin behind the closing notice: a fax server that
    // asks now is refused and tries again later, rather than shown a dialog
    // that closes under the user.
    tmr_relisten.Stop();
    if (wsk_connect.State() == Socket::Listening)
        wsk_connect.Close();
    m_boxes.Information(Text(texts::ClosingNotice), Text(texts::ProgramTitle));
    Unload();
}

void frm_outlook::Unload()
{
    if (m_unloaded)
        return;
    if (wsk_connect.State() != Socket::Closed && m_closePending == True)
        wsk_connect.Close();
    ReleaseAddressBook();
    st.SetInTray(false);
    Form_Unload();
    m_unloaded = true;
    tmr_relisten.Stop();
    ui.frm_outlook.Unload();
}

void frm_outlook::Form_Unload()
{
    ReleaseAddressBook();
}

void frm_outlook::ReleaseAddressBook()
{
    m_keepListing = false;
    m_listedEntries.reset();
    m_contactsFolder.reset();
    m_outlookApp.reset();
}

void frm_outlook::mnu_exit_Click()
{
    CloseProgram();
}

void frm_outlook::Form_QueryUnload()
{
    if (!m_unloaded && ui.frm_outlook.Visible())
        CancelFax();
}

// ---- Request session ----

void frm_outlook::wsk_connect_ConnectionRequest(int32_t requestId)
{
    // A box left from an earlier request (the lost connection, say) would sit
    // above the new dialog and keep it from the user.
    m_boxes.CloseAll();
    ++m_session;
    m_connectStatus = texts::Connected;
    if (wsk_connect.State() != Socket::Closed)
        wsk_connect.Close();
    LoadContacts();
    try {
        wsk_connect.Accept(requestId);
    } catch (const SocketError &) {
        // The fax server is gone already; there is nobody to answer.
        CancelFax();
    }
}

void frm_outlook::wsk_connect_SendComplete()
{
    // A completion after Cancel has ended the session already ends nothing.
    if (m_closePending != True)
        return;
    EndSession();
}

void frm_outlook::wsk_connect_SendFailed()
{
    if (m_closePending != True)
        return;
    EndSession();
    ReportLostConnection();
}

void frm_outlook::wsk_connect_Error()
{
    // Once a reply is on its way, its completion or failure ends the session.
    if (m_closePending == True || wsk_connect.State() != Socket::Connected)
        return;
    CancelFax();
    ReportLostConnection();
}

// The port listens again while the box waits for the user: fax servers that
// reset at an unattended desk must not pile up one box each.
void frm_outlook::ReportLostConnection()
{
    if (m_reportingLoss)
        return;
    m_reportingLoss = true;
    m_boxes.Error(Text(texts::ConnectionLost), Text(texts::ErrorTitle));
    m_reportingLoss = false;
}

void frm_outlook::btn_cancel_Click()
{
    CancelFax();
}

void frm_outlook::CancelFax()
{
    m_closePending = True;
    EndSession();
}

void frm_outlook::EndSession()
{
    if (wsk_connect.State() != Socket::Closed && m_closePending == True)
        wsk_connect.Close();
    m_closePending = False;
    ++m_session;
    ResetDialog();
    ListenAgain();
}

// Another program may have taken the port during the session: the user is
// told once, and listening is tried again until the port is free.
void frm_outlook::ListenAgain()
{
    if (wsk_connect.State() == Socket::Listening)
        return;
    try {
        wsk_connect.Listen();
        tmr_relisten.Stop();
    } catch (const SocketError &) {
        if (tmr_relisten.Active())
            return;
        tmr_relisten.Start(RelistenIntervalMs);
        m_boxes.Error(texts::BindError(wsk_connect.LocalPort()), Text(texts::BindErrorTitle));
    }
}

void frm_outlook::tmr_relisten_Timer()
{
    ListenAgain();
}

void frm_outlook::ResetDialog()
{
    ui.frm_outlook.Hide();
    KeepListing();
    m_businessFax.clear();
    m_homeFax.clear();
    m_otherFax.clear();
    ui.txt_faxno.SetText(Text());
    ui.addressList.Clear();
    ui.txt_outlookfaxno.Clear();
}

// ---- Contact directory ----

void frm_outlook::LoadContacts()
{
    ui.btn_send.SetEnabled(false);
    ui.addressList.SetEnabled(false);
    ui.btn_cancel.SetEnabled(false);
    ui.addressList.Clear();
    ui.frm_outlook.SetBusyPointer(true);
    ui.fax_notify.SetCaption(Text(texts::LoadingHeadline));
    ui.frm_outlook.Show();

    bool failed = false;
    ui.addressList.BeginFill();
    if (ListingStillStands()) {
        ui.addressList.AddSorted(*m_listedEntries);
    } else {
        m_listedEntries.reset();
        failed = !ListAddressBook();
    }
    ui.addressList.EndFill();
    // A listing cut short is not kept: the next request reads again.
    m_keepListing = !failed && !m_listedEntries;

    ui.fax_notify.SetCaption(Text(texts::Headline));
    ui.addressList.SetEnabled(true);
    ui.btn_cancel.SetEnabled(true);
    ui.frm_outlook.SetBusyPointer(false);
    if (failed)
        m_boxes.Error(Text(texts::StoreFailure), Text(texts::ErrorTitle));
}

// The list as it sorted a complete listing, read back as the dialog hides:
// not while the user waits for the list. A listing that starts before then
// reads the address book again.
void frm_outlook::KeepListing()
{
    if (!std::exchange(m_keepListing, false))
        return;
    m_listedEntries = ui.addressList.Entries();
}

bool frm_outlook::ListingStillStands()
{
    if (!m_listedEntries)
        return false;
    try {
        return !m_contactsFolder->ChangedSinceListing();
    } catch (const StoreError &) {
        return false; // the listing that follows tells the user
    }
}

bool frm_outlook::ListAddressBook()
{
    std::vector<ContactItem> items;
    bool complete = true;
    try {
        m_contactsFolder->ListItems(items);
    } catch (const StoreError &) {
        // What was read so far is listed; the user can still type a number.
        complete = false;
    }
    for (size_t at = 0; at < items.size(); ++at) {
        const ContactItem &item = items[at];
        if (item.itemClass != ContactClass)
            continue;
        const int index = ui.addressList.AddItem(DisplayText(item.lastName, item.firstName, item.companyName));
        ui.addressList.SetItemData(index, int32_t(at + 1));
    }
    return complete;
}

void frm_outlook::addressList_Click()
{
    ui.btn_send.SetEnabled(false);
    ui.txt_outlookfaxno.Clear();
    try {
        const int selected = ui.addressList.SelectedIndex();
        if (selected < 0)
            throw StoreError("no contact selected");
        const int32_t position = ui.addressList.ItemData(selected);
        m_recipient = ui.addressList.ItemText(selected);
        m_businessFax = m_contactsFolder->FaxNumber(position, FaxKind::Business);
        m_homeFax = m_contactsFolder->FaxNumber(position, FaxKind::Home);
        m_otherFax = m_contactsFolder->FaxNumber(position, FaxKind::Other);
    } catch (const StoreError &) {
        m_boxes.Error(Text(texts::StoreFailure), Text(texts::ErrorTitle));
        return;
    }
    if (!m_businessFax.empty()) {
        ui.txt_outlookfaxno.AddItem(Text(texts::BusinessFaxPrefix) + m_businessFax);
        ui.btn_send.SetEnabled(true);
        ui.txt_outlookfaxno.SetSelectedIndex(0);
    }
    if (!m_homeFax.empty()) {
        ui.txt_outlookfaxno.AddItem(Text(texts::HomeFaxPrefix) + m_homeFax);
        ui.btn_send.SetEnabled(true);
    }
    if (!m_otherFax.empty()) {
        ui.txt_outlookfaxno.AddItem(Text(texts::OtherFaxPrefix) + m_otherFax);
        ui.btn_send.SetEnabled(true);
    }
    // Mended fault: Send is enabled for a home or other number alone, yet with
    // no business number nothing used to be chosen, and Send then answered
    // with an empty number. Now the first entry offered is chosen.
    if (m_businessFax.empty() && (!m_homeFax.empty() || !m_otherFax.empty()))
        ui.txt_outlookfaxno.SetSelectedIndex(0);
}

// ---- Reply and confirmation ----

void frm_outlook::btn_send_Click()
{
    // One reply per request: once it is on its way nothing more is sent.
    if (m_closePending == True)
        return;
    const int page = ui.tab_addressselect.SelectedPage();
    Text number;
    Text confirmation;
    if (page == TypedNumberPage) {
        number = DigitsOnly(ui.txt_faxno.GetText());
        confirmation = texts::TypedNumberConfirmation(number);
    } else if (page == AddressBookPage) {
        // The confirmation names the chosen contact and the reply the selected
        // entry: with no entry selected they could differ.
        if (ui.addressList.SelectedIndex() < 0)
            return;
        const Text entry = ui.txt_outlookfaxno.ItemText(ui.txt_outlookfaxno.SelectedIndex());
        number = DigitsOnly(NumberPartOfEntry(entry));
        confirmation = texts::ContactConfirmation(m_recipient, number);
    } else {
        return;
    }
    const uint64_t session = m_session;
    if (!m_boxes.Question(confirmation, Text(texts::ConfirmationTitle)) || m_unloaded || session != m_session)
        return;
    m_closePending = True;
    if (page == TypedNumberPage) {
        wsk_connect.SendData(TypedNumberReply(number));
    } else {
        const int selected = ui.addressList.SelectedIndex();
        wsk_connect.SendData(
            ContactReply(number, selected < 0 ? Text() : ui.addressList.ItemText(selected), m_encodeRecipient));
    }
}

// ---- Send-button rules ----

void frm_outlook::tab_addressselect_Click(int /*previousTab*/)
{
    ui.btn_send.SetEnabled(SendEnabledForPage(ui.tab_addressselect.SelectedPage(), ui.txt_faxno.GetText(),
                                              m_businessFax, m_homeFax, m_otherFax));
}

void frm_outlook::txt_faxno_Change()
{
    ui.btn_send.SetEnabled(SendEnabledForTypedNumber(ui.txt_faxno.GetText()));
}

// ---- Tray menu and About link ----

void frm_outlook::st_MouseButton()
{
    st.PopUpMenu();
}

void frm_outlook::lbl_starthomepage_Click()
{
    OpenURL(Text(texts::HomePage));
}

void frm_outlook::OpenURL(Text address)
{
    m_urls.Open(address);
}
