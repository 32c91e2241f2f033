// Applying: the page controls written back, setting by setting, in a fixed
// order. A box that is neither checked nor unchecked leaves its setting as
// it is.
#include "controls/end.h"
#include "registry/catalogue_io.h"
#include "window/Form1.h"
#include "window/unsaved_settings.h"
#include "winreg/batch.h"
#include "winreg/history.h"

void Form1::savesettings() {
    using namespace catalogue;
    const auto boxes = tipBoxes();
    for (size_t row = 0; row < boxes.size(); ++row) set(kInfoTips[row], boxes[row]->Text());

    if (Check1->Value() == 1) set(ShowInfoTip, QStringLiteral("1"));
    if (Check1->Value() == 0) set(ShowInfoTip, QStringLiteral("0"));

    if (Check3->Value() == 1) {
        set(IsShortcutLnk, QString());
        set(IsShortcutPif, QString());
    }
    if (Check3->Value() == 0) {
        remove(IsShortcutPif);
        remove(IsShortcutLnk);
    }

    if (Check4->Value() == 1) set(NoFavoritesMenu, QStringLiteral("1"));
    if (Check4->Value() == 0) set(NoFavoritesMenu, QStringLiteral("0"));

    if (Check5->Value() == 1) set(NoRecentDocsHistory, QStringLiteral("01"));
    if (Check5->Value() == 0) set(NoRecentDocsHistory, QStringLiteral("00"));

    if (Check6->Value() == 0) remove(BackBitmap);
    if (Image6->Tag() == QLatin1String("dirty") && Check6->Value() == 1) {
        set(BackBitmap, CommonDialog1.FileName());
    }
}

// Apply and OK write the settings as one batch and say which settings a
// write did not take; OK then keeps the window open, so that nothing typed
// is lost.
void Form1::Command1_Click() {
    const history::Origin origin("Apply");
    applySettings();
}

void Form1::Command9_Click() {
    const history::Origin origin("OK");
    if (!applySettings()) return;
    End();
}

// The settings written as one batch, made durable together; true when all
// that matters was saved. A setting not saved stays changed, so that it is
// named again by the next Apply.
bool Form1::applySettings() {
    const std::set<std::string> changed = changedSettings();
    const std::map<std::string, QString> now = intended();
    unsaved_settings::forget();
    {
        regstore::Batch batch;
        savesettings();
    }
    const std::set<std::string> unsaved = unsaved_settings::tell(changed);
    for (const auto& [setting, value] : now) {
        if (!unsaved.count(setting)) saved_[setting] = value;
    }
    return unsaved.empty();
}

std::map<std::string, QString> Form1::intended() const {
    using namespace catalogue;
    std::map<std::string, QString> out;
    const auto boxes = tipBoxes();
    for (size_t row = 0; row < boxes.size(); ++row) out[kInfoTips[row].label] = boxes[row]->Text();
    out[ShowInfoTip.label] = QString::number(Check1->Value());
    out[IsShortcutLnk.label] = QString::number(Check3->Value());
    out[NoFavoritesMenu.label] = QString::number(Check4->Value());
    out[NoRecentDocsHistory.label] = QString::number(Check5->Value());
    const bool newBitmap = Image6->Tag() == QLatin1String("dirty");
    out[BackBitmap.label] = QString::number(Check6->Value()) + QLatin1Char(' ') +
                            (newBitmap ? CommonDialog1.FileName() : QString());
    return out;
}

std::set<std::string> Form1::changedSettings() const {
    std::set<std::string> changed;
    for (const auto& [setting, value] : intended()) {
        const auto before = saved_.find(setting);
        if (before == saved_.end() || before->second != value) changed.insert(setting);
    }
    return changed;
}

void Form1::Command8_Click() {
    End();
}
