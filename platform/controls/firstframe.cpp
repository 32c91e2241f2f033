#include "controls/firstframe.h"

#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace firstframe {
namespace {

constexpr const char* kVariable = "KNOBWISE_EXIT_AFTER_FIRST_FRAME";

// Qt draws a window's first frame and flushes it to the display while it
// handles the first expose event; a zero timer queued from there runs once
// that work is done.
class Watcher : public QObject {
  public:
    explicit Watcher(QWidget& window) : QObject(&window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !seen_) {
            QWindow* handle = window_.windowHandle();
            if (handle && watched == handle && handle->isExposed()) {
                seen_ = true;
                QTimer::singleShot(0, this, [this] { report(); });
            }
        }
        return false;
    }

  private:
    void report() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        const auto widgets = window_.findChildren<QWidget*>().size() + 1;
        std::printf("first-frame-ns %lld widgets %lld\n", ns, static_cast<long long>(widgets));
        std::fflush(stdout);
        std::_Exit(0);
    }

    QWidget& window_;
    bool seen_ = false;
};

}  // namespace

void watch(QWidget& window) {
    const char* asked = std::getenv(kVariable);
    if (!asked || std::strcmp(asked, "1") != 0) return;
    // The window's native window does not exist before it is shown; the
    // application sees its events on their way.
    QCoreApplication::instance()->installEventFilter(new Watcher(window));
}

}  // namespace firstframe
