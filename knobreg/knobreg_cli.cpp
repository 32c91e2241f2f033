// The pieces every verb uses: switches, key names, the hive, questions.
#include <algorithm>
#include <iostream>

#include "dotreg/dotreg.h"
#include "knobreg.h"
#include "machine/machine.h"
#include "text/ascii.h"
#include "text/codepage.h"
#include "text/utf16.h"
#include "winreg/current_store.h"

namespace knobreg {
namespace {

bool contains(const std::vector<std::string_view>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

Switches::Switches(const std::vector<std::string>& args, std::vector<std::string_view> withValue,
                   std::vector<std::string_view> flags) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A host path such as /tmp/x.reg is an argument, not a switch.
        bool isSwitch = arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') &&
                        arg.find('/', 1) == std::string::npos;
        if (!isSwitch) {
            positional_.push_back(arg);
            continue;
        }
        std::string name = ascii::lowered(std::string_view(arg).substr(1));
        if (has(name)) throw SyntaxFailure("Invalid syntax: the switch " + arg + " is given twice");
        if (contains(withValue, name)) {
            if (i + 1 >= args.size())
                throw SyntaxFailure("Invalid syntax: the switch " + arg + " needs a value");
            given_.emplace_back(name, args[++i]);
        } else if (contains(flags, name)) {
            given_.emplace_back(name, std::nullopt);
        } else {
            throw SyntaxFailure("Invalid syntax: unknown switch " + arg);
        }
    }
}

bool Switches::has(std::string_view name) const {
    return std::any_of(given_.begin(), given_.end(),
                       [&](const auto& g) { return g.first == name; });
}

std::optional<std::string> Switches::value(std::string_view name) const {
    for (const auto& g : given_) {
        if (g.first == name) return g.second;
    }
    return std::nullopt;
}

KeyName parseKeyName(const std::string& text) {
    if (text.starts_with("\\\\"))
        throw Failure("The registries of other machines cannot be reached.");
    checkText(text, "the key name");
    size_t cut = text.find('\\');
    std::optional<regstore::Root> root = regstore::rootNamed(std::string_view(text).substr(0, cut));
    if (!root) throw SyntaxFailure("Invalid key name \"" + text + "\"");
    KeyName key{*root, {}};
    if (cut != std::string::npos) {
        for (std::string_view part :
             regstore::splitKeyPath(std::string_view(text).substr(cut + 1))) {
            if (!key.path.empty()) key.path += '\\';
            key.path += part;
        }
    }
    return key;
}

std::string displayName(regstore::Store& hive, regstore::Root root, regstore::KeyId key) {
    std::string full = hive.keyName(key);
    if (root != regstore::Root::ClassesRoot) return full;
    // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes under its own name.
    std::string classes = hive.keyName(*hive.root(regstore::Root::ClassesRoot));
    return regstore::rootKey(root).longName + full.substr(classes.size());
}

regstore::Store& Session::hive() {
    if (!hive_) {
        const machine::Choice choice =
            winePrefix_ ? machine::choose(*winePrefix_) : machine::choose(std::nullopt);
        if (!choice.error.empty()) throw Failure(choice.error);
        hive_ = regstore::current();
        if (!hive_) throw Failure(regstore::problem());
    }
    return *hive_;
}

void Session::bringUpToDate(const KeyName& key) {
    const std::string note = hive().bringUpToDate({{key.root, key.path}}, true);
    if (!note.empty()) err_ << "knobreg: " << note << '\n';
}

regstore::TextData Session::textData() const {
    return winePrefix_ ? regstore::TextData::Utf16 : regstore::TextData::CodePage;
}

bool Session::confirm(const std::string& question) {
    while (true) {
        out_ << question << " (Yes/No)? " << std::flush;
        std::string answer;
        if (!std::getline(in_, answer)) {
            out_ << '\n';
            return false;
        }
        answer = ascii::lowered(answer);
        answer.erase(0, answer.find_first_not_of(" \t\r"));
        answer.erase(answer.find_last_not_of(" \t\r") + 1);
        if (answer == "y" || answer == "yes") return true;
        if (answer == "n" || answer == "no") return false;
    }
}

std::string fromStoreText(std::string_view bytes, regstore::TextData text) {
    return text == regstore::TextData::Utf16 ? utf16::toUtf8Lenient(bytes)
                                             : codepage::toUtf8(bytes);
}

std::string toStoreText(const std::string& utf8, std::string_view what, regstore::TextData text) {
    checkText(utf8, what);
    if (text == regstore::TextData::Utf16) {
        std::string units;
        utf16::fromUtf8(utf8, units);
        return units;
    }
    std::string bytes = codepage::fromUtf8(utf8);
    if (codepage::toUtf8(bytes) != utf8) {
        throw Failure(std::string(what) + " \"" + utf8 +
                      "\" has characters that code page 1252 cannot hold.");
    }
    return bytes;
}

void checkText(const std::string& text, std::string_view what) {
    std::string ignored;
    if (!utf16::fromUtf8(text, ignored))
        throw Failure(std::string(what) + " is not valid UTF-8 text.");
}

}  // namespace knobreg
