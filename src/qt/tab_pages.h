#pragma once

#include <QWidget>
#include <vector>

class QTabBar;

// Tabs over pages that share the control's own coordinate space, tab headers
// included, so that a page's controls are placed from the control's top-left
// corner. Only the selected page shows.
class TabPages final : public QWidget {
    Q_OBJECT
public:
    TabPages(const QStringList &captions, int headerHeight, QWidget *parent = nullptr);

    QWidget *Page(int index) const { return m_pages[size_t(index)]; }
    int CurrentIndex() const;
    void SetCurrentIndex(int index);
    QTabBar *Tabs() const { return m_tabs; }

signals:
    void CurrentChanged(int previousIndex);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ShowPage(int index);

    QTabBar *m_tabs;
    std::vector<QWidget *> m_pages;
    int m_headerHeight;
    int m_shownIndex = -1;
};
