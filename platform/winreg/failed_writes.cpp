#include "winreg/failed_writes.h"

#include <algorithm>
#include <utility>

namespace failed_writes {
namespace {

// A program that never takes them must not grow without bound.
constexpr std::size_t kMost = 1000;

std::vector<Failure>& kept() {
    static std::vector<Failure> failures;
    return failures;
}

std::vector<Failure>& batched() {
    static std::vector<Failure> changes;
    return changes;
}

}  // namespace

std::vector<Failure> take() {
    return std::exchange(kept(), {});
}

std::size_t count() {
    return kept().size();
}

void record(Failure failure) {
    if (kept().size() < kMost) kept().push_back(std::move(failure));
}

void noteBatched(Failure change) {
    if (batched().size() < kMost) batched().push_back(std::move(change));
}

void failBatched(LONG code, const std::string& reason, const std::vector<std::string>& saved) {
    for (Failure& f : std::exchange(batched(), {})) {
        if (std::any_of(saved.begin(), saved.end(),
                        [&](const std::string& s) { return f.key.starts_with(s); }))
            continue;
        f.code = code;
        f.reason = reason;
        record(std::move(f));
    }
}

void forgetBatched() {
    batched().clear();
}

std::optional<Failure> firstSince(Mark from) {
    for (std::size_t i = from.failures; i < kept().size(); ++i) {
        if (kept()[i].cause != Cause::KeyMissing) return kept()[i];
    }
    return std::nullopt;
}

Mark mark() {
    return {kept().size(), batched().size()};
}

void nameSince(Mark from, const std::string& setting) {
    for (std::size_t i = from.failures; i < kept().size(); ++i) kept()[i].setting = setting;
    for (std::size_t i = from.batched; i < batched().size(); ++i) batched()[i].setting = setting;
}

}  // namespace failed_writes
