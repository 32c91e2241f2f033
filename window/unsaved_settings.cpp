#include "window/unsaved_settings.h"

#include <QString>
#include <QStringList>

#include "registry/catalogue.h"
#include "winreg/failed_writes.h"
#include "controls/msgbox.h"

namespace unsaved_settings {
namespace {

// What the user calls each setting the program writes.
const char* labelOf(int row) {
    switch (row) {
        case 1:
            return "My Computer info tip";
        case 2:
            return "Network Neighborhood info tip";
        case 3:
            return "Briefcase info tip";
        case 4:
            return "The Internet info tip";
        case 5:
            return "My Documents info tip";
        case 6:
            return "Recycle Bin info tip";
        case 7:
            return "Show Info Tips";
        case 8:
        case 9:
            return "Use Shortcut Icons";
        case 10:
            return "Don't Show Favorites on Start Menu";
        case 11:
            return "Don't Show Documents on Start Menu";
        case 12:
            return "Use Backbitmaps";
        case 13:
            return "Enable Cheating at Hearts";
        default:
            return nullptr;
    }
}

// A key's full name as the registry reports it, in parts: keys of
// HKEY_CLASSES_ROOT under HKEY_LOCAL_MACHINE\Software\Classes.
QStringList partsOf(const QString& name) {
    return name.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QStringList rowKey(const catalogue::Row& row) {
    QString root = row.root == catalogue::HKCU ? QStringLiteral("HKEY_CURRENT_USER")
                   : row.root == catalogue::HKLM
                       ? QStringLiteral("HKEY_LOCAL_MACHINE")
                       : QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes");
    return partsOf(root + QLatin1Char('\\') + QString::fromUtf8(row.keyPath));
}

bool sameNames(const QStringList& a, const QStringList& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].compare(b[i], Qt::CaseInsensitive) != 0) return false;
    }
    return true;
}

QString settingOf(const failed_writes::Failure& f) {
    const QStringList key = partsOf(QString::fromStdString(f.key));
    const QString value = QString::fromStdString(f.value);
    for (const catalogue::Row& row : catalogue::kRows) {
        if (sameNames(key, rowKey(row)) &&
            value.compare(QString::fromUtf8(row.valueName), Qt::CaseInsensitive) == 0) {
            if (const char* label = labelOf(row.number)) return QString::fromUtf8(label);
        }
    }
    return QString::fromStdString(f.key) + QStringLiteral(" (") +
           (value.isEmpty() ? QStringLiteral("default value") : value) + QLatin1Char(')');
}

}  // namespace

void forget() {
    failed_writes::take();
}

bool tell() {
    const std::vector<failed_writes::Failure> failures = failed_writes::take();
    if (failures.empty()) return false;
    QStringList settings;
    QStringList reasons;
    for (const failed_writes::Failure& f : failures) {
        const QString setting = settingOf(f);
        if (!settings.contains(setting)) settings << setting;
        const QString reason = QString::fromStdString(f.reason);
        if (!reasons.contains(reason)) reasons << reason;
    }
    MsgBox(QStringLiteral("These settings were not saved:\n\n") + settings.join(QLatin1Char('\n')) +
               QStringLiteral("\n\n") + reasons.join(QLatin1Char('\n')),
           msgbox::kExclamation);
    return true;
}

}  // namespace unsaved_settings
