#include "tab_pages.h"

#include "accessible_tabs.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace {
// Assistive technology must meet the row's own interface from the start.
QTabBar *NewTabRow(QWidget *parent)
{
    InstallAccessibleTabs();
    return new QTabBar(parent);
}
} // namespace

TabPages::TabPages(const QStringList &captions, int headerHeight, QWidget *parent)
    : QWidget(parent), m_tabs(NewTabRow(this)), m_headerHeight(headerHeight)
{
    for (const QString &caption : captions) {
        m_tabs->addTab(caption);
        auto *page = new QWidget(this);
        page->hide();
        m_pages.push_back(page);
    }
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setFocusPolicy(Qt::StrongFocus);
    m_tabs->raise();
    ShowPage(m_tabs->currentIndex());
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        const int previous = m_shownIndex;
        ShowPage(index);
        emit CurrentChanged(previous);
    });
}

int TabPages::CurrentIndex() const
{
    return m_tabs->currentIndex();
}

void TabPages::SetCurrentIndex(int index)
{
    m_tabs->setCurrentIndex(index);
}

void TabPages::ShowPage(int index)
{
    for (int i = 0; i < int(m_pages.size()); ++i)
        m_pages[size_t(i)]->setVisible(i == index);
    m_shownIndex = index;
}

void TabPages::resizeEvent(QResizeEvent *)
{
    m_tabs->setGeometry(0, 0, width(), m_headerHeight);
    for (QWidget *page : m_pages)
        page->setGeometry(rect());
}

void TabPages::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, m_headerHeight - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_tabs->sizeHint();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
