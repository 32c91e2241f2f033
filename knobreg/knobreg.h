// knobreg: the hive's administrator on the command line, with the verbs,
// switches, output and exit codes of reg.exe.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winreg/store.h"

namespace knobreg {

// A failure reported as "ERROR: <what>" with exit code 1.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A command line that does not make sense ("Invalid syntax: ..."): reported
// with a pointer to the verb's usage.
class SyntaxFailure : public Failure {
  public:
    using Failure::Failure;
};

inline constexpr const char* kNotFound =
    "The system was unable to find the specified registry key or value.";
inline constexpr const char* kDone = "The operation completed successfully.";
inline constexpr const char* kCanceled = "The operation was canceled by the user.";

// The switches and other arguments that follow the verb. An argument that
// starts with / or - and has no other / is a switch; switches are matched
// without regard to case.
class Switches {
  public:
    // `withValue` lists the switches that take the next argument, `flags`
    // the others (names without the leading / and in lower case).
    Switches(const std::vector<std::string>& args, std::vector<std::string_view> withValue,
             std::vector<std::string_view> flags);
    bool has(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    const std::vector<std::string>& positional() const { return positional_; }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> given_;
    std::vector<std::string> positional_;
};

// A key named on the command line, such as HKCU\Software\Microsoft.
struct KeyName {
    regstore::Root root;
    std::string path;  // below the root, without empty components
    bool isRoot() const { return path.empty(); }
};
KeyName parseKeyName(const std::string& text);
// The key's full name for output: the root's long name and each key's name
// as it was created.
std::string displayName(regstore::Store& hive, regstore::Root root, regstore::KeyId key);

// What a verb works with: the machine's registry store (the machine chosen
// and its store opened on first use) and the terminal.
class Session {
  public:
    Session(std::istream& in, std::ostream& out, std::ostream& err,
            std::optional<std::filesystem::path> winePrefix)
        : in_(in), out_(out), err_(err), winePrefix_(std::move(winePrefix)) {}
    regstore::Store& hive();
    // Reads the key and the keys under it where the registry is kept now (a
    // Wine running in the prefix), warning when it cannot.
    void bringUpToDate(const KeyName& key);
    // How the machine's store keeps text, known without opening it.
    regstore::TextData textData() const;
    std::ostream& out() { return out_; }
    // Where warnings go: what was done, but not all as asked.
    std::ostream& err() { return err_; }
    // Asks a Yes/No question on the terminal until it gets an answer; no
    // answer at all (end of input) is No.
    bool confirm(const std::string& question);

  private:
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    std::optional<std::filesystem::path> winePrefix_;
    regstore::Store* hive_ = nullptr;
};

int query(const std::vector<std::string>& args, Session& session);
int add(const std::vector<std::string>& args, Session& session);
int removeKeyOrValue(const std::vector<std::string>& args, Session& session);
int exportKey(const std::vector<std::string>& args, Session& session);
int importFile(const std::vector<std::string>& args, Session& session);
int history(const std::vector<std::string>& args, Session& session);
int undo(const std::vector<std::string>& args, Session& session);

// Text of the terminal's own: the text data of a value in UTF-8 (NULs kept),
// and UTF-8 given on the command line as the store keeps text (refused when
// the store's code page cannot hold it).
std::string fromStoreText(std::string_view bytes, regstore::TextData text);
std::string toStoreText(const std::string& utf8, std::string_view what, regstore::TextData text);
// Refuses a name that is not valid UTF-8.
void checkText(const std::string& text, std::string_view what);

}  // namespace knobreg
