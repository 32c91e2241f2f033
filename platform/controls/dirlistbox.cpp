#include "controls/dirlistbox.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "machine/drives.h"
#include "text/casefold.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndent = 8;  // pixels per level
constexpr int kGlyph = 16;

// A manila folder, 16 by 16 pixels, closed or open.
QIcon folderGlyph(bool open) {
    QPixmap pm(kGlyph, kGlyph);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor outline(0, 0, 0);
    const QColor face(255, 255, 128);
    const QColor shade(192, 192, 0);
    p.setPen(outline);
    if (!open) {
        // Tab, then the body.
        p.setBrush(shade);
        p.drawPolygon(QPolygon({{1, 3}, {2, 2}, {6, 2}, {7, 3}, {7, 4}, {1, 4}}));
        p.setBrush(face);
        p.drawRect(1, 4, 13, 9);
        p.setPen(QColor(255, 255, 255));
        p.drawLine(2, 5, 13, 5);
        p.drawLine(2, 5, 2, 12);
    } else {
        // The back of the folder with its tab, and the front flap tilted open.
        p.setBrush(shade);
        p.drawPolygon(QPolygon({{1, 3}, {2, 2}, {6, 2}, {7, 3}, {12, 3}, {12, 6}, {1, 13}}));
        p.setBrush(face);
        p.drawPolygon(QPolygon({{4, 7}, {15, 7}, {12, 13}, {1, 13}}));
    }
    return QIcon(pm);
}

// Draws each row shifted right by its depth, as the classic list does.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(index.data(kDepthRole).toInt() * kIndent, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        return QSize(s.width() + index.data(kDepthRole).toInt() * kIndent,
                     std::max(s.height(), kGlyph + 1));
    }
};

// A name the Windows side can address: shown, valid text, no backslash.
bool listable(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    if (name.find('\\') != std::string::npos) return false;
    return QString::fromStdString(name).toStdString() == name;
}

// The names of the folders inside `dir`, sorted without regard to case; none
// when it cannot be read.
QStringList readSubfolders(const QString& windowsPath) {
    std::optional<fs::path> host = drives::toHost(windowsPath.toStdString());
    if (!host) return {};
    std::vector<std::pair<std::string, std::string>> found;  // folded, name
    std::error_code ec;
    fs::directory_iterator it(*host, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_directory(typeEc)) continue;
        std::string name = it->path().filename().string();
        if (listable(name)) found.emplace_back(casefold::fold(name), name);
    }
    if (ec) return {};
    std::sort(found.begin(), found.end());
    QStringList names;
    for (const auto& [folded, name] : found) names << QString::fromStdString(name);
    return names;
}

// "C:\", "C:\WINDOWS", "C:\WINDOWS\Desktop" for "C:\WINDOWS\Desktop".
QStringList chainOf(const QString& path) {
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    QStringList chain;
    if (parts.isEmpty()) return chain;
    QString at = parts[0] + u'\\';
    chain << at;
    for (int i = 1; i < parts.size(); ++i) {
        at = (i == 1 ? at : at + u'\\') + parts[i];
        chain << at;
    }
    return chain;
}

}  // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setIconSize(QSize(kGlyph, kGlyph));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openRow(row(item)); });
    QString start = QString::fromStdString(drives::currentDirectory());
    if (!setPath(start) && !setPath(start.left(3)) && !setPath(QStringLiteral("C:\\"))) {
        setPath(QStringLiteral("Z:\\"));
    }
}

bool DirListBox::setPath(const QString& windowsPath) {
    std::optional<fs::path> host = drives::toHost(windowsPath.toStdString());
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec)) return false;
    QString path = QString::fromStdString(drives::toWindows(*host));
    bool moved = path != path_;
    path_ = path;
    fill();
    if (moved) emit changed(path_);
    return true;
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::openRow(int row) {
    QString target;
    if (row >= 0 && row < chain_.size()) {
        target = chain_[row];
    } else if (row >= chain_.size() && row < chain_.size() + subfolders_.size()) {
        const QString& name = subfolders_[row - chain_.size()];
        target = path_.endsWith(u'\\') ? path_ + name : path_ + u'\\' + name;
    } else {
        return;
    }
    // Joined as listed rather than resolved again, so that a linked folder
    // stays where the user found it.
    bool moved = target != path_;
    path_ = target;
    fill();
    if (moved) emit changed(path_);
}

void DirListBox::fill() {
    chain_ = chainOf(path_);
    subfolders_ = readSubfolders(path_);
    static const QIcon openGlyph = folderGlyph(true);
    static const QIcon closedGlyph = folderGlyph(false);
    clear();
    for (int i = 0; i < chain_.size(); ++i) {
        QString label = i == 0 ? chain_[i] : chain_[i].section(u'\\', -1);
        auto* item = new QListWidgetItem(openGlyph, label, this);
        item->setData(kDepthRole, i);
    }
    for (const QString& name : subfolders_) {
        auto* item = new QListWidgetItem(closedGlyph, name, this);
        item->setData(kDepthRole, static_cast<int>(chain_.size()));
    }
    setCurrentRow(static_cast<int>(chain_.size()) - 1);
}
