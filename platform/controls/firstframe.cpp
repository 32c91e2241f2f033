#include "controls/firstframe.h"

#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace firstframe {
namespace {

constexpr const char* kVariable = "KNOBWISE_EXIT_AFTER_FIRST_FRAME";

long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

bool asked() {
    static const bool on = [] {
        const char* value = std::getenv(kVariable);
        return value && std::strcmp(value, "1") == 0;
    }();
    return on;
}

struct Mark {
    const char* name;
    long long ns;
};

// Filled from the program's main thread only, before the first frame.
struct Marks {
    std::array<Mark, 48> marks{};
    std::size_t count = 0;
};

Marks& marks() {
    static Marks m;
    return m;
}

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
                phase("expose");
                QTimer::singleShot(0, this, [this] { report(); });
            }
        }
        return false;
    }

  private:
    void report() {
        const long long ns = nowNs();
        const auto widgets = window_.findChildren<QWidget*>().size() + 1;
        std::printf("first-frame-ns %lld widgets %lld\n", ns, static_cast<long long>(widgets));
        const Marks& m = marks();
        for (std::size_t i = 0; i < m.count; ++i) {
            std::printf("phase %s %lld\n", m.marks[i].name, m.marks[i].ns);
        }
        std::fflush(stdout);
        std::_Exit(0);
    }

    QWidget& window_;
    bool seen_ = false;
};

}  // namespace

void watch(QWidget& window) {
    if (!asked()) return;
    // The window's native window does not exist before it is shown; the
    // application sees its events on their way.
    QCoreApplication::instance()->installEventFilter(new Watcher(window));
}

void phase(const char* name) {
    if (!asked()) return;
    Marks& m = marks();
    if (m.count < m.marks.size()) m.marks[m.count++] = {name, nowNs()};
}

}  // namespace firstframe
