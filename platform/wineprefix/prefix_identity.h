// What makes a folder a Wine prefix, where its registry files are, and how
// a prefix's folder and name are written: the one place that the search
// for prefixes, the choice of the machine, the chooser and the prefix store
// share.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wineprefix {

// The prefix's registry files: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
inline constexpr std::string_view kSystemFile = "system.reg";
inline constexpr std::string_view kUserFile = "user.reg";

// A prefix as the user knows it.
struct Identity {
    std::filesystem::path folder;  // absolute, without "." or ".." or a trailing "/"
    std::string name;              // what it is called where the user sees it
};

// A folder as the user gave it, made absolute (a relative one from the
// current folder) and clean: "./p/" in /home/u is "/home/u/p".
std::filesystem::path cleanPath(const std::filesystem::path& dir);
// A folder as another program's configuration gives it, clean: "~/..." from
// `home`; empty when it is not absolute.
std::filesystem::path configuredPath(std::string_view text, const std::filesystem::path& home);

// Why `folder` is not a Wine prefix that can be used, as a sentence naming
// it; nullopt when it is one: a folder holding both registry files.
std::optional<std::string> whyNotPrefix(const std::filesystem::path& folder);
inline bool isPrefix(const std::filesystem::path& folder) {
    return !whyNotPrefix(folder);
}

// The name a prefix goes by: `given` (as the program that keeps it names
// it), else its folder's name, else ("/") its path.
std::string nameOf(const std::filesystem::path& folder, std::string given = {});

// A folder the user gave, cleaned, checked and named once: the prefix, or
// nullopt with the reason in `why`.
std::optional<Identity> identify(const std::filesystem::path& dir, std::string name,
                                 std::string& why);

}  // namespace wineprefix
