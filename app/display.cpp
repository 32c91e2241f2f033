#include "app/display.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace display {
namespace {

// A message and where it came from (Qt's own static strings).
struct Held {
    QtMsgType type;
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};

// While the application is made: the handler Qt had, what it was told, and
// how the program ends without a display.
QtMessageHandler previous = nullptr;
std::vector<Held>* held = nullptr;
int endCode = 1;
bool endQuietly = false;

// Where no display is, in one sentence for the user.
std::string noDisplaySentence() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string why;
    if (platform && *platform) {
        why = std::string("Qt's platform \"") + platform + "\" (QT_QPA_PLATFORM) cannot be started";
    } else if (x && *x) {
        why = std::string("the display ") + x + " ($DISPLAY) cannot be opened";
    } else if (wayland && *wayland) {
        why = std::string("the Wayland display ") + wayland + " cannot be opened";
    } else {
        why = "neither $DISPLAY nor $WAYLAND_DISPLAY is set";
    }
    return "knobwise: Knobwise shows a window and needs a graphical desktop for it, but " + why +
           ".\n";
}

void whileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // Qt's last word when no platform plugin could start: "This application
    // failed to start because no Qt platform plugin could be initialized".
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        if (!endQuietly) std::fputs(noDisplaySentence().c_str(), stderr);
        std::fflush(stderr);
        ::_exit(endCode);
    }
    if (type == QtFatalMsg) {
        previous(type, context, text);
        return;
    }
    held->push_back({type, context.file, context.line, context.function, context.category, text});
}

}  // namespace

std::unique_ptr<QApplication> open(int& argc, char** argv, int exitCode, bool quiet) {
    std::vector<Held> messages;
    held = &messages;
    endCode = exitCode;
    endQuietly = quiet;
    previous = qInstallMessageHandler(whileStarting);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    held = nullptr;
    for (const Held& m : messages)
        previous(m.type, QMessageLogContext(m.file, m.line, m.function, m.category), m.text);
    return app;
}

}  // namespace display
