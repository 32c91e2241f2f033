// knobwise: selects the machine (the user's own, made on first start, or a
// Wine prefix asked for on the command line or picked in the chooser), then
// loads the main window and shows it.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/missing_keys.h"
#include "app/options.h"
#include "chooser/PrefixChooser.h"
#include "controls/classicstyle.h"
#include "controls/end.h"
#include "controls/firstframe.h"
#include "controls/msgbox.h"
#include "machine/machine.h"
#include "machine/prefixes.h"
#include "window/Form1.h"
#include "winreg/current_store.h"

namespace {

// Messages go out through C's streams: the program uses no iostream, whose
// standard streams would otherwise be set up at every start.
void say(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
}

// Whether a message box would be seen: not on Qt's platforms that draw
// nowhere (offscreen, minimal), where it would wait for nobody.
bool boxesSeen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Lets the user pick the prefix and selects it. False when the chooser was
// cancelled.
bool choosePrefix() {
    PrefixChooser chooser(prefixes::find(), [](const wineprefix::Identity& prefix) {
        machine::choose(prefix, missing_keys::settingsKeys());
    });
    chooser.ShowModal();
    return chooser.opened().has_value();
}

}  // namespace

int main(int argc, char** argv) {
    firstframe::phase("main");
    options::Options opts = options::parse(argc, argv);
    if (opts.help) {
        say(stdout, options::kUsage);
        return 0;
    }
    if (!opts.error.empty()) {
        say(stderr, "knobwise: " + opts.error + "\n\n" + options::kUsage);
        return 2;
    }
    int qtArgc = static_cast<int>(opts.rest.size());
    opts.rest.push_back(nullptr);
    QApplication app(qtArgc, opts.rest.data());
    QApplication::setApplicationName(QStringLiteral("Knobwise"));
    QGuiApplication::setDesktopFileName(QStringLiteral(KNOBWISE_APP_ID));
    if (qtArgc > 1) {
        say(stderr, std::string("knobwise: unexpected argument ") + opts.rest[1] + "\n\n" +
                        options::kUsage);
        return 2;
    }
    firstframe::phase("application");

    // The store starts to open before the style is installed: a prefix's
    // files are read while the style's faces are looked up among the
    // system's fonts and the window is made.
    machine::Choice choice;
    if (opts.choosePrefix) {
        classic::install();
        // Cancel is the user's answer, not a failure.
        if (!choosePrefix()) return 0;
    } else {
        choice = opts.winePrefix ? machine::choose(*opts.winePrefix, missing_keys::settingsKeys())
                                 : machine::choose(std::nullopt);
        firstframe::phase("store");
        classic::install();
        firstframe::phase("style");
        if (!choice.usable) {
            say(stderr, "knobwise: " + choice.error + '\n');
            if (boxesSeen()) MsgBox(QString::fromStdString(choice.error), msgbox::kExclamation);
            return 1;
        }
    }
    if (machine::current().isWinePrefix())
        say(stderr,
            "knobwise: using the Wine prefix " + machine::current().prefix().string() + '\n');
    Form1 form;
    firstframe::phase("window");
    if (!choice.error.empty()) {
        MsgBox(QStringLiteral("The Knobwise machine could not be made:\n\n") +
                   QString::fromStdString(choice.error),
               msgbox::kExclamation);
    } else if (const std::string problem = regstore::problem(); !problem.empty()) {
        // Said once; the program then runs as the store allows: with every
        // key failing to open (a hive missing, damaged, or not writable,
        // since every open asks for write rights), or with changes refused
        // (a full disk; a Wine running in the prefix that cannot be used,
        // one of the prefix's files damaged or not writable).
        if (machine::current().isWinePrefix()) say(stderr, "knobwise: " + problem + '\n');
        MsgBox(QString::fromStdString(problem), msgbox::kExclamation);
    } else {
        missing_keys::offer();
    }

    firstframe::phase("notices");
    form.Load();
    if (program::ended()) return 0;
    firstframe::watch(form);
    form.Show();
    firstframe::phase("shown");
    return QApplication::exec();
}
