#include "winreg/current_store.h"

#include <optional>

namespace regstore {
namespace {

struct Current {
    std::optional<Opener> opener;
    Opened opened;
    bool isOpen = false;
    std::uint64_t generation = 1;
};

Current& current_() {
    static Current c;
    return c;
}

Opened& opened() {
    Current& c = current_();
    if (!c.isOpen) {
        if (c.opener) {
            c.opened = (*c.opener)();
        } else {
            c.opened = Opened{};
            c.opened.problem = "No registry has been selected.";
        }
        c.isOpen = true;
    }
    return c.opened;
}

}  // namespace

void select(Opener opener) {
    Current& c = current_();
    c.opened = Opened{};
    c.isOpen = false;
    c.opener = std::move(opener);
    ++c.generation;
}

void open() {
    opened();
}

State state() {
    return opened().state;
}

std::string problem() {
    Opened& o = opened();
    if (o.explain) {
        o.problem = o.explain();
        o.explain = nullptr;
    }
    return o.problem;
}

Store* current() {
    Opened& o = opened();
    return o.state == State::Ok || o.state == State::ReadOnly ? o.store.get() : nullptr;
}

void markDamaged(const std::string& why) {
    Opened& o = opened();
    o.explain = nullptr;
    o.store.reset();
    o.state = State::Damaged;
    o.problem = why;
}

std::uint64_t generation() {
    return current_().generation;
}

}  // namespace regstore
