// render_pages DIRECTORY: draws each page of the main window, and the folder
// picker, into PNG files in DIRECTORY (info-tips.png ... about.png,
// dialog.png). It runs offscreen on a throw-away machine, so what it shows is
// a fresh machine's settings.
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
#include "machine/machine.h"
#include "window/Form1.h"

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
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    return status;
}
