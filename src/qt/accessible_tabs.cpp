#include "accessible_tabs.h"

#include "tab_pages.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QTabBar>

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

} // namespace

void InstallAccessibleTabs()
{
    static const bool installed = (QAccessible::installFactory(DialogTabsAccessible), true);
    (void)installed;
}
