#include "frm_outlook.h"

#include "app/message_boxes.h"
#include "app/tray_icon.h"
#include "contacts/contact_directory.h"
#include "dialog/link_label.h"
#include "dialog/send_rules.h"
#include "dialog/tab_control.h"
#include "dialog/url_opener.h"
#include "session/reply.h"
#include "session/socket_layer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <cstdio>
#include <malloc.h>

namespace {
const QString kProgramTitle = QStringLiteral("Corvane Tesk");
const QString kTrayTip = QStringLiteral("Corvane Tesk (fax number manager)");
const QString kClosingNotice =
    QStringLiteral("Corvane Tesk is closing.  You need to restart the program in order to send faxes.");
const QString kNoAddressBook = QStringLiteral("Microsoft Outlook was not detected on your PC.");
const QString kNoAddressBookTitle = QStringLiteral("Outlook error");
const QString kBindErrorTitle = QStringLiteral("Error binding listening port");
const QString kStoreFailure = QStringLiteral("Error 1000: Outlook did not respond properly to a query.");
const QString kErrorTitle = QStringLiteral("Error");
const QString kConnectionLost =
    QStringLiteral("The connection to the fax server was lost. No fax number was sent.");
const QString kConfirmationTitle = QStringLiteral("Fax transmission!");

QString BindErrorText(quint16 port)
{
    return QStringLiteral("Some other program may be binding port ") + QString::number(port)
        + QStringLiteral(".\r\nPlease clear this port and try again.");
}

constexpr int kPositionRole = Qt::UserRole;
} // namespace

frm_outlook::frm_outlook(Platform platform)
    : ui(BuildDialogLayout(*this)), m_boxes(platform.boxes), m_urls(platform.urls),
      wsk_connect(std::move(platform.socket)), st(std::move(platform.tray)),
      m_openAddressBook(std::move(platform.openAddressBook))
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    st->SetToolTip(kTrayTip);
    st->SetMenu(ui.mnu_file);
    st->SetInTray(true);

    m_relisten.setInterval(platform.relistenIntervalMs);
    connect(&m_relisten, &QTimer::timeout, this, &frm_outlook::ListenAgain);

    connect(wsk_connect.get(), &SocketLayer::ConnectionRequest, this, &frm_outlook::wsk_connect_ConnectionRequest);
    connect(wsk_connect.get(), &SocketLayer::SendComplete, this, &frm_outlook::wsk_connect_SendComplete);
    connect(wsk_connect.get(), &SocketLayer::SendFailed, this, &frm_outlook::wsk_connect_SendFailed);
    connect(st.get(), &TrayIcon::MouseButton, this, &frm_outlook::st_MouseButton);
    connect(ui.mnu_exit, &QAction::triggered, this, &frm_outlook::mnu_exit_Click);
    connect(ui.btn_cancel, &QPushButton::clicked, this, &frm_outlook::btn_cancel_Click);
    connect(ui.btn_send, &QPushButton::clicked, this, &frm_outlook::btn_send_Click);
    connect(ui.tab_addressselect, &TabControl::CurrentChanged, this, &frm_outlook::tab_addressselect_Click);
    connect(ui.txt_faxno, &QLineEdit::textChanged, this, &frm_outlook::txt_faxno_Change);
    connect(ui.lbl_starthomepage, &LinkLabel::Clicked, this, &frm_outlook::lbl_starthomepage_Click);
    // A contact is chosen by selecting it, with the mouse or the keyboard, or
    // by clicking it again; clearing the list or focusing it chooses nothing.
    ui.addressList->viewport()->installEventFilter(this);
    connect(ui.addressList, &QListWidget::itemSelectionChanged, this, [this] {
        m_choseOnPress = true;
        if (!ui.addressList->selectedItems().isEmpty())
            addressList_Click();
    });
    connect(ui.addressList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (!m_choseOnPress && item->isSelected())
            addressList_Click();
    });
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
        std::fprintf(stderr, "corvane-tesk: cannot open the address book: %s\n", error.what());
        m_boxes.Error(kNoAddressBook, kNoAddressBookTitle);
        CloseProgram();
        return;
    }
    m_closePending = False;
    try {
        wsk_connect->Listen();
    } catch (const SocketError &) {
        m_boxes.Error(BindErrorText(wsk_connect->LocalPort()), kBindErrorTitle);
        CloseProgram();
    }
}

void frm_outlook::CloseProgram()
{
    m_boxes.Information(kClosingNotice, kProgramTitle);
    Unload();
}

void frm_outlook::Unload()
{
    if (m_unloaded)
        return;
    if (wsk_connect->State() != SocketLayer::Closed && m_closePending == True)
        wsk_connect->Close();
    ReleaseAddressBook();
    st->SetInTray(false);
    Form_Unload();
    m_unloaded = true;
    m_relisten.stop();
    hide();
    emit Unloaded();
}

void frm_outlook::Form_Unload()
{
    ReleaseAddressBook();
}

void frm_outlook::ReleaseAddressBook()
{
    m_contactsFolder.reset();
    m_outlookApp.reset();
}

void frm_outlook::mnu_exit_Click()
{
    CloseProgram();
}

bool frm_outlook::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.addressList->viewport() && event->type() == QEvent::MouseButtonPress)
        m_choseOnPress = false;
    return QWidget::eventFilter(watched, event);
}

// The window manager's close button ends the request as "Cancel fax" would;
// the program itself goes on running in the tray.
void frm_outlook::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (!m_unloaded && isVisible())
        CancelFax();
}

// ---- Request session ----

void frm_outlook::wsk_connect_ConnectionRequest(qint32 requestId)
{
    ui.lbl_connect->setText(QStringLiteral("Connected..."));
    if (wsk_connect->State() != SocketLayer::Closed)
        wsk_connect->Close();
    LoadContacts();
    try {
        wsk_connect->Accept(requestId);
    } catch (const SocketError &) {
        // The peer is gone already; there is nobody to answer.
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
    m_boxes.Error(kConnectionLost, kErrorTitle);
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
    if (wsk_connect->State() != SocketLayer::Closed && m_closePending == True)
        wsk_connect->Close();
    m_closePending = False;
    ResetDialog();
    ListenAgain();
}

// Another program may have taken the port during the session: the user is
// told once, and listening is tried again until the port is free.
void frm_outlook::ListenAgain()
{
    if (wsk_connect->State() == SocketLayer::Listening)
        return;
    try {
        wsk_connect->Listen();
        m_relisten.stop();
    } catch (const SocketError &) {
        if (m_relisten.isActive())
            return;
        m_relisten.start();
        m_boxes.Error(BindErrorText(wsk_connect->LocalPort()), kBindErrorTitle);
    }
}

void frm_outlook::ResetDialog()
{
    hide();
    ui.lbl_businessfaxno->clear();
    ui.lbl_homefaxno->clear();
    ui.lbl_otherfaxno->clear();
    ui.txt_faxno->clear();
    ui.addressList->clear();
    ui.txt_outlookfaxno->clear();
    // A long list leaves freed memory that glibc would otherwise keep for the
    // program's whole idle life in the tray; given back once the session has
    // ended, so that listening again does not wait for it.
    QTimer::singleShot(0, this, [] { malloc_trim(0); });
}

void frm_outlook::ShowDialog()
{
    if (!m_placedOnScreen) {
        if (const QScreen *screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        m_placedOnScreen = true;
    }
    show();
    raise();
    activateWindow();
}

// ---- Contact directory ----

void frm_outlook::LoadContacts()
{
    ui.btn_send->setEnabled(false);
    ui.addressList->setEnabled(false);
    ui.btn_cancel->setEnabled(false);
    ui.addressList->clear();
    setCursor(Qt::WaitCursor);
    ui.fax_notify->setText(DialogText::LoadingHeadline);
    ShowDialog();

    std::vector<ListEntry> entries;
    bool failed = false;
    try {
        const qint32 count = m_contactsFolder->Count();
        for (qint32 position = 1; position <= count; ++position) {
            const ContactItem item = m_contactsFolder->Item(position);
            if (item.itemClass == ContactClass)
                entries.push_back({DisplayText(item.lastName, item.firstName, item.companyName), position});
        }
    } catch (const StoreError &) {
        // What was read so far stays listed; the user can still type a number.
        failed = true;
    }
    SortForDisplay(entries);
    for (const ListEntry &entry : entries) {
        // Complete before it joins the list: a change to a listed item makes
        // the shown list update, which costs much more for long lists.
        auto *item = new QListWidgetItem(entry.text);
        item->setData(kPositionRole, entry.position);
        ui.addressList->addItem(item);
    }

    ui.fax_notify->setText(DialogText::Headline);
    ui.addressList->setEnabled(true);
    ui.btn_cancel->setEnabled(true);
    unsetCursor();
    if (failed)
        m_boxes.Error(kStoreFailure, kErrorTitle);
}

void frm_outlook::addressList_Click()
{
    ui.btn_send->setEnabled(false);
    ui.txt_outlookfaxno->clear();
    try {
        const QListWidgetItem *selected = ui.addressList->selectedItems().value(0);
        if (!selected)
            throw StoreError("no contact selected");
        const qint32 position = selected->data(kPositionRole).toInt();
        ui.lbl_recipient->setText(selected->text());
        ui.lbl_businessfaxno->setText(m_contactsFolder->FaxNumber(position, FaxKind::Business));
        ui.lbl_homefaxno->setText(m_contactsFolder->FaxNumber(position, FaxKind::Home));
        ui.lbl_otherfaxno->setText(m_contactsFolder->FaxNumber(position, FaxKind::Other));
    } catch (const StoreError &) {
        m_boxes.Error(kStoreFailure, kErrorTitle);
        return;
    }
    const QString business = ui.lbl_businessfaxno->text();
    const QStringList entries = FaxEntries(business, ui.lbl_homefaxno->text(), ui.lbl_otherfaxno->text());
    ui.txt_outlookfaxno->addItems(entries);
    // Only a business number is picked for the user; the combo box would
    // otherwise pick its first entry by itself.
    ui.txt_outlookfaxno->setCurrentIndex(business.isEmpty() ? -1 : 0);
    ui.btn_send->setEnabled(!entries.isEmpty());
}

// ---- Reply and confirmation ----

void frm_outlook::btn_send_Click()
{
    const int page = ui.tab_addressselect->CurrentIndex();
    QString number;
    QString confirmation;
    if (page == TypedNumberPage) {
        number = DigitsOnly(ui.txt_faxno->text());
        confirmation = TypedNumberConfirmation(number);
    } else if (page == AddressBookPage) {
        const QString entry = ui.txt_outlookfaxno->itemText(ui.txt_outlookfaxno->currentIndex());
        number = DigitsOnly(NumberPartOfEntry(entry));
        confirmation = ContactConfirmation(ui.lbl_recipient->text(), number);
    } else {
        return;
    }
    if (!m_boxes.Question(confirmation, kConfirmationTitle) || m_unloaded)
        return;
    m_closePending = True;
    wsk_connect->SendData(page == TypedNumberPage ? TypedNumberReply(number)
                                                  : ContactReply(number, SelectedContactText()));
}

QString frm_outlook::SelectedContactText() const
{
    const QListWidgetItem *selected = ui.addressList->selectedItems().value(0);
    return selected ? selected->text() : QString();
}

// ---- Send-button rules ----

void frm_outlook::tab_addressselect_Click(int /*previousTab*/)
{
    ui.btn_send->setEnabled(SendEnabledForPage(ui.tab_addressselect->CurrentIndex(), ui.txt_faxno->text(),
                                               ui.lbl_businessfaxno->text(), ui.lbl_homefaxno->text(),
                                               ui.lbl_otherfaxno->text()));
}

void frm_outlook::txt_faxno_Change()
{
    ui.btn_send->setEnabled(SendEnabledForTypedNumber(ui.txt_faxno->text()));
}

// ---- Tray menu and About link ----

void frm_outlook::st_MouseButton()
{
    st->PopUpMenu(*ui.mnu_file);
}

void frm_outlook::lbl_starthomepage_Click()
{
    OpenURL(DialogText::HomePage);
}

void frm_outlook::OpenURL(QString address)
{
    m_urls.Open(address);
}
