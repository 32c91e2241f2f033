#include "controls/sstab.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>
#include <stdexcept>

#include "controls/mouse.h"
#include "controls/twips.h"

namespace {

// Tabs of one fixed size. A caption wider than its tab is drawn condensed
// until it fits, so that it stays on one line and whole.
class FixedTabBar : public QTabBar {
  public:
    explicit FixedTabBar(QWidget* parent) : QTabBar(parent) {}

    void setTabSize(QSize size) {
        tabSize_ = size;
        updateGeometry();
        adjustSize();
    }

  protected:
    QSize tabSizeHint(int) const override { return tabSize_; }
    QSize minimumTabSizeHint(int) const override { return tabSize_; }

    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        int selected = currentIndex();
        // The selected tab last, as it overlaps its neighbours.
        for (int i = 0; i < count(); ++i) {
            if (i != selected) paintTab(painter, i);
        }
        if (selected >= 0) paintTab(painter, selected);
    }

  private:
    void paintTab(QStylePainter& painter, int index) {
        QStyleOptionTab option;
        initStyleOption(&option, index);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_TabBarTabShape, option);

        QRect textRect = option.rect.adjusted(4, 0, -4, 0);
        if (index != currentIndex()) textRect.translate(0, 1);
        QFont f = font();
        int natural = QFontMetrics(f).horizontalAdvance(caption);
        if (natural > textRect.width() && natural > 0) {
            int stretch = qMax(50, 100 * textRect.width() / natural);
            f.setStretch(stretch);
            while (stretch > 50 && QFontMetrics(f).horizontalAdvance(caption) > textRect.width()) {
                f.setStretch(--stretch);
            }
        }
        painter.save();
        painter.setFont(f);
        painter.setPen(option.palette.color(
            isTabEnabled(index) ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                         caption);
        if (index == currentIndex() && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            int w = QFontMetrics(f).horizontalAdvance(caption);
            int h = QFontMetrics(f).height();
            focus.rect =
                QRect(0, 0, w + 4, h).intersected(QRect(0, 0, textRect.width(), textRect.height()));
            focus.rect.moveCenter(textRect.center());
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
        painter.restore();
    }

    QSize tabSize_{74, 20};
};

}  // namespace

SSTab::SSTab(QWidget* parent) : QWidget(parent), bar_(new FixedTabBar(this)) {
    bar_->setExpanding(false);
    bar_->setUsesScrollButtons(false);
    bar_->setDrawBase(false);
    bar_->setElideMode(Qt::ElideNone);
    bar_->setFocusPolicy(Qt::StrongFocus);
    // The tab row is the control's surface too: its moves, which the bar
    // leaves unhandled, go on to the control.
    bar_->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(bar_);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    connect(bar_, &QTabBar::currentChanged, this, [this](int index) { showPage(index); });
    arrange();
}

QWidget* SSTab::addPage(const QString& caption) {
    auto* page = new QWidget(this);
    // Its moves, unhandled, go on to the control.
    page->setMouseTracking(true);
    page->setGeometry(rect());
    page->hide();
    pages_.push_back(page);
    bar_->addTab(caption);
    bar_->raise();
    showPage(bar_->currentIndex());
    return page;
}

QString SSTab::TabCaption(int index) const {
    return bar_->tabText(index);
}

std::int16_t SSTab::Tab() const {
    return static_cast<std::int16_t>(bar_->currentIndex());
}

void SSTab::setTab(std::int16_t index) {
    if (index < 0 || index >= Tabs()) throw std::out_of_range("no such tab");
    bar_->setCurrentIndex(index);
    showPage(index);
}

void SSTab::setTabsPerRow(int count) {
    tabsPerRow_ = qMax(1, count);
    arrange();
}

void SSTab::setTabHeight(int twips) {
    tabHeight_ = twips;
    arrange();
}

void SSTab::setTabFont(const QFont& font) {
    bar_->setFont(font);
    bar_->update();
}

void SSTab::showPage(int index) {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (static_cast<int>(i) != index) pages_[i]->hide();
    }
    if (index >= 0 && index < Tabs()) pages_[static_cast<size_t>(index)]->show();
    bar_->raise();
    update();
}

void SSTab::arrange() {
    int tabHeight = twips::px(tabHeight_);
    static_cast<FixedTabBar*>(bar_)->setTabSize(QSize(width() / tabsPerRow_, tabHeight));
    bar_->setGeometry(0, 0, width(), tabHeight);
    for (QWidget* page : pages_) page->setGeometry(rect());
    bar_->raise();
}

void SSTab::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

void SSTab::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.tabBarSize = bar_->size();
    int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    option.rect = rect().adjusted(0, bar_->height() - overlap, 0, 0);
    if (bar_->currentIndex() >= 0) option.selectedTabRect = bar_->tabRect(bar_->currentIndex());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
}

void SSTab::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    mouse::Move m = mouse::move(event);
    emit MouseMove(m.button, m.shift, m.x, m.y);
}
