#include "window/unsaved_settings.h"

#include <QString>
#include <QStringList>

#include "controls/msgbox.h"
#include "machine/machine.h"
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

// Why it was not saved, in words the user can act on.
QString reasonOf(const failed_writes::Failure& f, const QString& setting) {
    if (f.cause != failed_writes::Cause::KeyMissing) return QString::fromStdString(f.reason);
    const QString key = QString::fromStdString(f.key);
    if (machine::current().isWinePrefix())
        return QStringLiteral(
                   "The key of %1 (%2) does not exist in this Windows; start Knobwise again "
                   "and answer Yes to create it.")
            .arg(setting, key);
    return QStringLiteral(
               "The key of %1 (%2) does not exist in this machine's registry; knobreg add "
               "can make it again.")
        .arg(setting, key);
}

}  // namespace

void forget() {
    failed_writes::take();
}

std::set<std::string> tell(const std::set<std::string>& changed) {
    std::set<std::string> unsaved;
    QStringList settings;
    QStringList reasons;
    for (const failed_writes::Failure& f : failed_writes::take()) {
        const bool onlyIfChanged = f.cause != failed_writes::Cause::Failed;
        if (onlyIfChanged && !changed.count(f.setting)) continue;
        const QString setting = settingOf(f);
        if (!settings.contains(setting)) settings << setting;
        const QString reason = reasonOf(f, setting);
        if (!reasons.contains(reason)) reasons << reason;
        unsaved.insert(f.setting);
    }
    if (settings.isEmpty()) return unsaved;
    MsgBox(QStringLiteral("These settings were not saved:\n\n") + settings.join(QLatin1Char('\n')) +
               QStringLiteral("\n\n") + reasons.join(QLatin1Char('\n')),
           msgbox::kExclamation);
    return unsaved;
}

}  // namespace unsaved_settings
