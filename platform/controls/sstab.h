// A tabbed page control: a row of tabs of equal width above a raised panel.
//
// Each page is a transparent container as large as the whole control, so
// that what is placed on it is measured from the control's outer top-left
// corner, tab row included. Only the selected page is shown; the controls
// of the others are hidden and take no focus. The control's focus is the
// tab row's, where the arrow keys move between tabs.
#pragma once

#include <QFont>
#include <QWidget>
#include <cstdint>
#include <vector>

class QTabBar;

class SSTab : public QWidget {
    Q_OBJECT

  public:
    explicit SSTab(QWidget* parent = nullptr);

    // Adds a tab with its page and returns the page.
    QWidget* addPage(const QString& caption);
    QWidget* page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    int Tabs() const { return static_cast<int>(pages_.size()); }
    QString TabCaption(int index) const;

    // The index of the selected page, 0 the first. Out-of-range indexes are
    // refused with std::out_of_range.
    std::int16_t Tab() const;
    void setTab(std::int16_t index);

    // How many tabs of equal width the row has room for.
    int TabsPerRow() const { return tabsPerRow_; }
    void setTabsPerRow(int count);
    // The height of the tab row, in twips.
    int TabHeight() const { return tabHeight_; }
    void setTabHeight(int twips);
    // The font of the tab captions (the pages keep the control's own font).
    void setTabFont(const QFont& font);

    QTabBar* tabBar() const { return bar_; }

  signals:
    // The mouse moved over the control's own surface: the tab row, or a
    // page where no control covers it (pages pass their moves on to it).
    void MouseMove(int button, int shift, float x, float y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void showPage(int index);
    void arrange();

    QTabBar* bar_;
    std::vector<QWidget*> pages_;
    int tabsPerRow_ = 7;
    int tabHeight_ = 300;
};
