// knobwise: selects the machine (the user's own, made on first start, or a
// Wine prefix asked for on the command line or picked in the chooser), then
// loads the main window and shows it, or with --history the History window.
#include <unistd.h>
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/display.h"
#include "app/missing_keys.h"
#include "app/options.h"
#include "chooser/PrefixChooser.h"
#include "controls/classicstyle.h"
#include "controls/end.h"
#include "controls/firstframe.h"
#include "controls/msgbox.h"
#include "history/HistoryWindow.h"
#include "machine/machine.h"
#include "machine/prefixes.h"
#include "text/escape.h"
#include "window/Form1.h"
#include "winreg/current_store.h"

namespace {

// Messages go out through C's streams: the program uses no iostream, whose
// standard streams would otherwise be set up at every start.
void say(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
}

// A message on standard error. It may name folders and files that other
// programs named (a game's prefix, found through a launcher): escaped, so
// that nothing in them reaches the terminal as a control character.
void tell(const std::string& message) {
    say(stderr, "knobwise: " + escape::linesForTerminal(message) + '\n');
}

// Whether a message box would be seen: not on Qt's platforms that draw
// nowhere (offscreen, minimal), where it would wait for nobody.
bool boxesSeen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Whether anyone may read standard error: not when the program was started
// from the desktop's menu, whose output goes to a log, if anywhere.
bool errorsRead() {
    return ::isatty(STDERR_FILENO) == 1;
}

// A command line that cannot be taken, said on standard error with the
// usage.
void sayBadArguments(const std::string& error) {
    say(stderr, "knobwise: " + escape::linesForTerminal(error) + "\n\n" + options::kUsage);
}

// The same in a box as well, where standard error goes unread; exit code 2.
int showBadArguments(const std::string& error) {
    if (!errorsRead() && boxesSeen()) {
        MsgBox(QStringLiteral("Knobwise cannot start: ") + QString::fromStdString(error) +
                   QStringLiteral("\n\nknobwise --help in a terminal lists its options."),
               msgbox::kExclamation);
    }
    return 2;
}

// Lets the user pick the prefix and selects it, `liveKeys` as for
// machine::choose. False when the chooser was cancelled.
bool choosePrefix(const std::vector<regstore::KeyPath>& liveKeys) {
    std::vector<std::string> skipped;
    std::vector<prefixes::Prefix> found = prefixes::find(&skipped);
    for (const std::string& s : skipped) tell(s);
    PrefixChooser chooser(std::move(found), [&liveKeys](const wineprefix::Identity& prefix) {
        machine::choose(prefix, liveKeys);
    });
    chooser.ShowModal();
    return chooser.opened().has_value();
}

// What the user is told once about the machine before its window shows.
// False when there was something to tell.
bool sayProblems(const machine::Choice& choice) {
    if (!choice.error.empty()) {
        MsgBox(QStringLiteral("The Knobwise machine could not be made:\n\n") +
                   QString::fromStdString(choice.error),
               msgbox::kExclamation);
        return false;
    }
    if (const std::string problem = regstore::problem(); !problem.empty()) {
        // Said once; the program then runs as the store allows: with every
        // key failing to open (a hive missing, damaged, or not writable,
        // since every open asks for write rights), or with changes refused
        // (a full disk; a Wine running in the prefix that cannot be used,
        // one of the prefix's files damaged or not writable).
        if (machine::current().isWinePrefix()) tell(problem);
        MsgBox(QString::fromStdString(problem), msgbox::kExclamation);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    firstframe::phase("main");
    options::Options opts = options::parse(argc, argv);
    if (opts.help) {
        say(stdout, options::kUsage);
        return 0;
    }
    // A bad command line is said at once; started from elsewhere than a
    // terminal, it is said in a box too, which needs the application (and
    // without a display, the exit code is 2 all the same).
    if (!opts.error.empty()) {
        sayBadArguments(opts.error);
        if (errorsRead()) return 2;
    }
    int qtArgc = static_cast<int>(opts.rest.size());
    opts.rest.push_back(nullptr);
    const std::unique_ptr<QApplication> app =
        display::open(qtArgc, opts.rest.data(), opts.error.empty() ? 1 : 2, !opts.error.empty());
    QApplication::setApplicationName(QStringLiteral("Knobwise"));
    QGuiApplication::setDesktopFileName(QStringLiteral(KNOBWISE_APP_ID));
    if (!opts.error.empty()) return showBadArguments(opts.error);
    if (qtArgc > 1) {
        const std::string error = std::string("unexpected argument ") + opts.rest[1];
        sayBadArguments(error);
        return showBadArguments(error);
    }
    firstframe::phase("application");

    // The History window reads no setting: a running Wine is asked only
    // for what an undo changes.
    const std::vector<regstore::KeyPath> liveKeys =
        opts.history ? std::vector<regstore::KeyPath>{} : missing_keys::settingsKeys();
    // The store starts to open before the style is installed: a prefix's
    // files are read while the style's faces are looked up among the
    // system's fonts and the window is made.
    machine::Choice choice;
    if (opts.choosePrefix) {
        classic::install();
        // Cancel is the user's answer, not a failure.
        if (!choosePrefix(liveKeys)) return 0;
    } else {
        choice = opts.winePrefix ? machine::choose(*opts.winePrefix, liveKeys)
                                 : machine::choose(std::nullopt);
        firstframe::phase("store");
        classic::install();
        firstframe::phase("style");
        if (!choice.usable) {
            tell(choice.error);
            if (boxesSeen()) MsgBox(QString::fromStdString(choice.error), msgbox::kExclamation);
            return 1;
        }
    }
    if (machine::current().isWinePrefix())
        tell("using the Wine prefix " + machine::current().prefix().string());
    if (opts.history) {
        sayProblems(choice);
        HistoryWindow history;
        history.Show();
        return QApplication::exec();
    }
    Form1 form;
    firstframe::phase("window");
    if (sayProblems(choice)) missing_keys::offer();

    firstframe::phase("notices");
    form.Load();
    if (program::ended()) return 0;
    firstframe::watch(form);
    form.Show();
    firstframe::phase("shown");
    return QApplication::exec();
}
