#include "controls/explorerlist.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "machine/drives.h"
#include "text/codepage.h"

namespace {

std::vector<QRegularExpression> compile(const QString& pattern) {
    std::vector<QRegularExpression> out;
    for (QString part : pattern.split(u';', Qt::SkipEmptyParts)) {
        part = part.trimmed();
        if (part == QLatin1String("*.*")) part = QStringLiteral("*");
        out.emplace_back(QRegularExpression::wildcardToRegularExpression(part),
                         QRegularExpression::CaseInsensitiveOption);
    }
    return out;
}

// A file name as the list shows it: UTF-8, as names on this system are; a
// name that is not is taken in code page 1252, as the names of files copied
// from Windows machines are, so that every name shows as text of its own.
QString displayName(const std::string& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString name = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return name;
    return QString::fromStdString(codepage::toUtf8(bytes));
}

}  // namespace

ExplorerList::ExplorerList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

void ExplorerList::setFolder(const QString& windowsPath) {
    folder_ = windowsPath;
    Refresh();
}

void ExplorerList::setPattern(const QString& pattern) {
    pattern_ = pattern;
    Refresh();
}

QStringList ExplorerList::files() const {
    QStringList names;
    for (int i = 0; i < count(); ++i) names << item(i)->text();
    return names;
}

void ExplorerList::Refresh() {
    clear();
    if (folder_.isEmpty()) return;
    std::optional<std::filesystem::path> host = drives::toHost(folder_.toStdString());
    if (!host) return;
    std::error_code ec;
    if (!std::filesystem::is_directory(*host, ec)) return;

    std::vector<QRegularExpression> patterns = compile(pattern_);
    QStringList names;
    std::filesystem::directory_iterator it(*host, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        QString name = displayName(it->path().filename().string());
        bool matches =
            std::any_of(patterns.begin(), patterns.end(),
                        [&](const QRegularExpression& re) { return re.match(name).hasMatch(); });
        if (matches) names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    if (names.isEmpty()) return;
    // Asked for only when there is something to list: finding it can mean
    // reading the desktop's icon themes.
    QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const QString& name : names) addItem(new QListWidgetItem(icon, name));
}
