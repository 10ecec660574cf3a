#include "dialog_window.h"

#include "link_label.h"
#include "system_tray_icon.h"
#include "tab_pages.h"
#include "tcp_socket_layer.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <malloc.h>

namespace {

QString WithoutMnemonic(QString caption)
{
    for (qsizetype at = caption.indexOf(u'&'); at >= 0 && at < caption.size(); at = caption.indexOf(u'&', at + 1))
        caption.remove(at, 1); // "&&" leaves one '&', which the next search steps over
    return caption;
}

// One tab of the dialog's tab control as assistive technology sees it.
// Reported focused only while the tab row itself has the keyboard focus:
// Qt's own tab reports focus whenever it is the current one, so a screen
// reader would hear the last chosen tab as focused while the user types
// into the fax-number box.
class AccessibleTab final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleTab(QTabBar *bar, int index) : m_bar(bar), m_index(index) {}

    int Index() const { return m_index; }

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject *object() const override { return nullptr; }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        if (kind == QAccessible::Name)
            return WithoutMnemonic(m_bar->tabText(m_index));
        if (kind == QAccessible::Description)
            return m_bar->tabToolTip(m_index);
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s = parent()->state();
        const bool current = m_index == m_bar->currentIndex();
        s.focused = current && m_bar->hasFocus();
        s.selectable = true;
        s.selected = current;
        s.disabled = s.disabled || !m_bar->isTabEnabled(m_index);
        s.invisible = s.invisible || !m_bar->isTabVisible(m_index);
        return s;
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect tab = m_bar->tabRect(m_index);
        return {m_bar->mapToGlobal(tab.topLeft()), tab.size()};
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (isValid() && name == pressAction())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// The tab row: its tabs first, then its own child widgets (the scroll
// arrows), as Qt's own interface for it lists them.
class AccessibleTabBar final : public QAccessibleWidget {
public:
    explicit AccessibleTabBar(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~AccessibleTabBar() override
    {
        for (QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return Bar()->count() + QAccessibleWidget::childCount(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0)
            return nullptr;
        if (index >= Bar()->count())
            return QAccessibleWidget::child(index - Bar()->count());
        if (const auto known = m_tabs.constFind(index); known != m_tabs.cend())
            return QAccessible::accessibleInterface(*known);
        auto *tab = new AccessibleTab(Bar(), index);
        m_tabs.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->role() == QAccessible::PageTab && child->parent() == this)
            return static_cast<const AccessibleTab *>(child)->Index();
        const int widget = QAccessibleWidget::indexOfChild(child);
        return widget < 0 ? -1 : Bar()->count() + widget;
    }

    QAccessibleInterface *focusChild() const override
    {
        return Bar()->hasFocus() && Bar()->currentIndex() >= 0 ? child(Bar()->currentIndex()) : nullptr;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && Bar()->currentIndex() >= 0)
            return WithoutMnemonic(Bar()->tabText(Bar()->currentIndex()));
        return QAccessibleWidget::text(kind);
    }

private:
    QTabBar *Bar() const { return static_cast<QTabBar *>(widget()); }
    mutable QHash<int, QAccessible::Id> m_tabs;
};

QAccessibleInterface *DialogTabsAccessible(const QString &, QObject *object)
{
    auto *bar = qobject_cast<QTabBar *>(object);
    if (bar && qobject_cast<TabPages *>(bar->parentWidget()))
        return new AccessibleTabBar(bar);
    return nullptr;
}

// The tab row's interface must be ours from the first time anything asks.
DialogWidgets BuildAccessibleDialog(QWidget &window)
{
    static const bool installed = (QAccessible::installFactory(DialogTabsAccessible), true);
    (void)installed;
    return BuildDialogLayout(window);
}

} // namespace

DialogWindow::DialogWindow(Desktop desktop)
    : ui(BuildAccessibleDialog(*this)), m_socket(std::move(desktop.socket)), m_tray(std::move(desktop.tray)),
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
