// Applying: the page controls written back, setting by setting, in a fixed
// order. A box that is neither checked nor unchecked leaves its setting as
// it is.
#include "controls/end.h"
#include "registry/catalogue_io.h"
#include "window/Form1.h"
#include "window/unsaved_settings.h"
#include "winreg/batch.h"

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
    unsaved_settings::forget();
    applySettings();
    unsaved_settings::tell();
}

void Form1::Command9_Click() {
    unsaved_settings::forget();
    applySettings();
    if (unsaved_settings::tell()) return;
    End();
}

// The settings written as one batch, made durable together.
void Form1::applySettings() {
    regstore::Batch batch;
    savesettings();
}

void Form1::Command8_Click() {
    End();
}
