#include "window/unsaved_settings.h"

#include <QString>
#include <QStringList>

#include "controls/msgbox.h"
#include "winreg/failed_writes.h"

namespace unsaved_settings {
namespace {

// The setting as the window names it; a change made for no setting of the
// window by its key and value.
QString settingOf(const failed_writes::Failure& f) {
    if (!f.setting.empty()) return QString::fromStdString(f.setting);
    const QString value = QString::fromStdString(f.value);
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
