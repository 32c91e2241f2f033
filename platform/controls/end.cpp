#include "controls/end.h"

#include <QApplication>
#include <QWidget>
#include <utility>

namespace program {
namespace {

struct State {
    bool ended = false;
    std::function<void()> handler;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

bool ended() {
    return state().ended;
}

void setEndHandler(std::function<void()> handler) {
    state().handler = std::move(handler);
    state().ended = false;
}

}  // namespace program

void End() {
    program::state().ended = true;
    if (program::state().handler) {
        program::state().handler();
        return;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
    QCoreApplication::exit(0);
}
