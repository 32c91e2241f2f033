#include "winreg/failed_writes.h"

#include <utility>

namespace failed_writes {
namespace {

std::vector<Failure>& kept() {
    static std::vector<Failure> failures;
    return failures;
}

}  // namespace

std::vector<Failure> take() {
    return std::exchange(kept(), {});
}

std::size_t count() {
    return kept().size();
}

void nameSince(std::size_t from, const std::string& setting) {
    for (std::size_t i = from; i < kept().size(); ++i) kept()[i].setting = setting;
}

void record(Failure failure) {
    // A program that never takes them must not grow without bound.
    constexpr std::size_t kMost = 1000;
    if (kept().size() < kMost) kept().push_back(std::move(failure));
}

}  // namespace failed_writes
