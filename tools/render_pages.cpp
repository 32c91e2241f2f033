// render_pages DIRECTORY: draws each page of the main window, the folder
// picker, the prefix chooser and the History window into PNG files in
// DIRECTORY (info-tips.png ... about.png, dialog.png, chooser.png,
// history.png). It runs offscreen on a throw-away machine, so what the pages
// show is a fresh machine's settings; the History window shows three changes
// made to it afterwards.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "chooser/PrefixChooser.h"
#include "controls/classicstyle.h"
#include "folders/Dialog.h"
#include "history/HistoryWindow.h"
#include "machine/machine.h"
#include "registry/catalogue.h"
#include "window/Form1.h"
#include "winreg/current_store.h"
#include "winreg/history.h"

namespace {

bool save(QWidget& window, const QString& file) {
    QImage image = window.grab().toImage();
    if (!image.save(file, "PNG")) {
        std::fprintf(stderr, "render_pages: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_pages DIRECTORY\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string scratch =
        (std::filesystem::temp_directory_path() / "knobwise-pages-XXXXXX").string();
    if (!mkdtemp(scratch.data())) {
        std::perror("render_pages: mkdtemp");
        return 1;
    }
    setenv("XDG_DATA_HOME", scratch.c_str(), 1);

    int status = 0;
    {
        QApplication app(argc, argv);
        classic::install();
        // Made, seeded and selected as the program does it, so that loading
        // reads the fresh machine's settings.
        const machine::Choice made = machine::choose(std::nullopt);
        if (!made.error.empty()) {
            std::fprintf(stderr, "render_pages: %s\n", made.error.c_str());
            status = 1;
        } else if (!QDir().mkpath(out)) {
            std::fprintf(stderr, "render_pages: cannot make %s\n", qPrintable(out));
            status = 1;
        } else {
            Form1 form;
            form.Load();
            form.show();
            const char* names[] = {
                "info-tips", "internet-explorer", "boot", "system-folders", "misc", "about"};
            for (int page = 0; page < 6 && status == 0; ++page) {
                form.SSTab1->setTab(static_cast<std::int16_t>(page));
                if (!save(form, out + "/" + names[page] + ".png")) status = 1;
            }
            // The picker opens where the process is; show it in drive C.
            std::error_code ec;
            std::filesystem::current_path(machine::driveC() / "WINDOWS", ec);
            Dialog dialog(&form);
            dialog.show();
            if (status == 0 && !save(dialog, out + "/dialog.png")) status = 1;
            // The chooser with rows of every kind, none of them this
            // computer's.
            PrefixChooser chooser(
                {{"/home/pat/.wine", prefixes::Source::Wine, ".wine", false},
                 {"/home/pat/.local/share/Steam/steamapps/compatdata/570/pfx",
                  prefixes::Source::Steam, "Dota 2", true},
                 {"/home/pat/Games/the-witcher", prefixes::Source::Lutris, "The Witcher", false},
                 {"/home/pat/.local/share/bottles/bottles/Office", prefixes::Source::Bottles,
                  "Office 2010", false}},
                [](const wineprefix::Identity&) {});
            chooser.show();
            if (status == 0 && !save(chooser, out + "/chooser.png")) status = 1;
            // Changes as Apply and knobreg make them: two settings applied,
            // a setting by its value's name, and a key of no setting.
            form.Text1->setText(QStringLiteral("Everything on this computer"));
            form.Check4->setValue(form.Check4->Value() == 1 ? 0 : 1);
            form.Command1_Click();
            regstore::Store& store = *regstore::current();
            {
                const history::Origin origin(
                    "knobreg add HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
                    "\\Advanced /v ShowInfoTip /t REG_DWORD /d 0 /f");
                store.setValue(
                    *store.findKey(regstore::Root::CurrentUser, catalogue::ShowInfoTip.keyPath),
                    "ShowInfoTip", REG_DWORD, std::string(4, '\0'));
            }
            {
                const history::Origin origin(
                    "knobreg add \"HKCU\\Software\\Knobwise Test\" /v Tip /d before /f");
                store.begin();
                store.setValue(
                    store.createKey(regstore::Root::CurrentUser, "Software\\Knobwise Test"), "Tip",
                    REG_SZ, "before");
                store.commit();
            }
            HistoryWindow history(&form);
            history.show();
            if (status == 0 && !save(history, out + "/history.png")) status = 1;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    return status;
}
