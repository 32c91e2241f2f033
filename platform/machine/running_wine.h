// The Wine that runs in a prefix, for the prefix store (winreg/live_wine.h):
// the server found through the lock it holds, and the `wine` program of the
// same build found beside the server's own executable (Debian keeps
// wine64 beside wineserver64 in /usr/lib/wine, a Proton build both in its
// files/bin), never one from the PATH: a client and a server of different
// builds refuse each other.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "wineprefix/live_wine.h"

namespace machine {

class RunningWine final : public regstore::LiveWine {
  public:
    explicit RunningWine(std::filesystem::path prefix) : prefix_(std::move(prefix)) {}

    Server server() override;
    // Through knobwise-regread.exe, a Windows program of ours, run once
    // for all keys.
    std::string read(const std::vector<regstore::KeyPath>& keys, bool below) override;
    // Through Wine's `reg import`.
    void import(std::string_view regFile) override;

    // How long a Wine program may take before it counts as hung.
    static constexpr int kTimeoutSeconds = 5;

  private:
    // Runs `wine ARGS...` in the prefix, its output into `out`; throws
    // Refused when it cannot be started, fails or takes too long.
    void run(const std::vector<std::string>& args, const std::filesystem::path& out,
             const std::string& what);

    std::filesystem::path prefix_;
    std::filesystem::path server_;  // the executable of the server last found
    std::filesystem::path wine_;    // and the wine beside it
};

// Our reader program as installed or built; empty when it is absent.
std::filesystem::path registryReader();

}  // namespace machine
