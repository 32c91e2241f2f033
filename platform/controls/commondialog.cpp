#include "controls/commondialog.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStringList>
#include <filesystem>
#include <utility>
#include <vector>

#include "machine/drives.h"

namespace {

struct FilterEntry {
    QString description;
    QString pattern;  // "*.bmp;*.dib"
};

std::vector<FilterEntry> parseFilter(const QString& filter) {
    std::vector<FilterEntry> entries;
    QStringList parts = filter.split(u'|');
    if (filter.isEmpty()) return entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        entries.push_back({parts[i], pattern.isEmpty() ? QStringLiteral("*") : pattern});
    }
    return entries;
}

// "Compatable Backgrounds (*.bmp)": how Qt's dialog takes a described filter.
QString qtNameFilter(const FilterEntry& e) {
    QStringList patterns = e.pattern.split(u';', Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    return e.description + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

// Icons and types told by a file's kind alone. Qt's own provider reads a
// file whose name does not tell its type, and a file this process opens and
// closes loses every POSIX lock the process holds on it: the hive's locks,
// when the dialog (or its completer) lists the machine's folder, after which
// another program could take the hive's log from under the running one.
class KindIcons : public QAbstractFileIconProvider {
  public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override {
        return icon(info.isDir() ? QAbstractFileIconProvider::Folder
                                 : QAbstractFileIconProvider::File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QStringLiteral("Folder");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File")
                                : suffix.toUpper() + QStringLiteral(" File");
    }
};

CommonDialog::Chooser& chooser() {
    static CommonDialog::Chooser c;
    return c;
}

}  // namespace

void CommonDialog::setChooser(Chooser c) {
    chooser() = std::move(c);
}

void CommonDialog::ShowOpen() {
    std::vector<FilterEntry> entries = parseFilter(filter_);
    std::optional<QString> chosen;
    if (chooser()) {
        FilterEntry first = entries.empty() ? FilterEntry{} : entries.front();
        chosen = chooser()(first.description, first.pattern);
    } else {
        KindIcons icons;
        QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Open"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setIconProvider(&icons);
        // The user sees each description as it was given, not its patterns.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setWindowModality(Qt::ApplicationModal);
        QStringList filters;
        for (const FilterEntry& e : entries) filters << qtNameFilter(e);
        if (!filters.isEmpty()) dialog.setNameFilters(filters);
        // Start in the current directory, or where the last file was chosen.
        dialog.setDirectory(QDir::currentPath());
        if (!fileName_.isEmpty()) {
            if (auto host = drives::toHost(fileName_.toStdString())) {
                std::error_code ec;
                if (std::filesystem::is_directory(host->parent_path(), ec)) {
                    dialog.setDirectory(QString::fromStdString(host->parent_path().string()));
                }
            }
        }
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            chosen = dialog.selectedFiles().constFirst();
        }
    }
    if (chosen && !chosen->isEmpty()) {
        fileName_ = QString::fromStdString(drives::toWindows(chosen->toStdString()));
    }
}

std::optional<QString> CommonDialog::BrowseForFolder(const QString& title) {
    if (chooser()) return chooser()(QStringLiteral("Folder"), QString());
    KindIcons icons;
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Prefixes mostly live in hidden folders (~/.wine, ~/.local/share/...).
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setDirectory(QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
