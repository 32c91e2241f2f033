// knobreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
// knobreg delete KEY [/v NAME | /ve | /va] [/f]
#include <ostream>

#include "knobreg.h"
#include "text/ascii.h"
#include "text/hexdigits.h"

namespace knobreg {
namespace {

DWORD typeFromName(const std::string& name) {
    static const std::pair<const char*, DWORD> kTypes[] = {
        {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_BINARY", REG_BINARY},
        {"REG_DWORD", REG_DWORD}, {"REG_MULTI_SZ", REG_MULTI_SZ},   {"REG_NONE", REG_NONE}};
    for (const auto& [typeName, type] : kTypes) {
        if (ascii::equalNoCase(name, typeName)) return type;
    }
    throw SyntaxFailure(
        "Invalid syntax: unknown type " + name +
        " (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ or REG_NONE)");
}

std::string dwordData(const std::string& text) {
    std::uint64_t n = 0;
    bool hex = text.size() > 2 && text[0] == '0' && ascii::lower(text[1]) == 'x';
    std::string_view digits = std::string_view(text).substr(hex ? 2 : 0);
    bool ok = text.empty() || !digits.empty();
    for (char c : digits) {
        int d = hex ? hexdigits::value(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0 || n > 0xFFFFFFFFu) {
            ok = false;
            break;
        }
        n = n * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    }
    if (!ok || n > 0xFFFFFFFFu) {
        throw Failure(
            "The data \"" + text +
            "\" is no REG_DWORD: give a number from 0 to 4294967295, or 0x and hex digits.");
    }
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(n >> (8 * i) & 0xFF);
    return bytes;
}

std::string binaryData(const std::string& text, DWORD type) {
    std::string bytes;
    bool ok = text.size() % 2 == 0;
    for (size_t i = 0; ok && i < text.size(); i += 2) {
        int hi = hexdigits::value(text[i]);
        int lo = hexdigits::value(text[i + 1]);
        ok = hi >= 0 && lo >= 0;
        bytes.push_back(static_cast<char>(hi << 4 | lo));
    }
    if (!ok) {
        throw Failure("The data \"" + text + "\" is no " +
                      (type == REG_NONE ? "REG_NONE" : "REG_BINARY") +
                      ": give pairs of hex digits, such as 01ff.");
    }
    return bytes;
}

// The terminating NUL of text kept in the encoding.
std::string nulIn(regstore::TextData encoding) {
    return std::string(encoding == regstore::TextData::Utf16 ? 2 : 1, '\0');
}

// The strings of a REG_MULTI_SZ, each ended by a NUL, and a NUL after the last.
std::string multiData(const std::string& text, const std::string& separator,
                      regstore::TextData encoding) {
    std::string bytes;
    if (!text.empty()) {
        size_t start = 0;
        while (true) {
            size_t cut = text.find(separator, start);
            std::string item =
                text.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
            if (item.empty()) throw Failure("A REG_MULTI_SZ cannot hold an empty string.");
            bytes += toStoreText(item, "The data", encoding) + nulIn(encoding);
            if (cut == std::string::npos) break;
            start = cut + separator.size();
        }
    }
    return bytes + nulIn(encoding);
}

std::string dataFor(DWORD type, const std::string& text, const std::string& separator,
                    regstore::TextData encoding) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return toStoreText(text, "The data", encoding) + nulIn(encoding);
        case REG_MULTI_SZ:
            return multiData(text, separator, encoding);
        case REG_DWORD:
            return dwordData(text);
        default:
            return binaryData(text, type);
    }
}

std::string shownName(const std::string& name) {
    return name.empty() ? "(Default)" : name;
}

}  // namespace

int add(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {"v", "t", "d", "s"}, {"ve", "f"});
    if (sw.positional().size() != 1) throw SyntaxFailure("Invalid syntax: add needs one key name");
    if (sw.has("v") && sw.has("ve"))
        throw SyntaxFailure("Invalid syntax: /v and /ve exclude each other");
    KeyName name = parseKeyName(sw.positional()[0]);
    std::optional<std::string> valueName =
        sw.has("ve") ? std::optional<std::string>("") : sw.value("v");
    // Data without a name is the key's default value.
    if (!valueName && (sw.has("t") || sw.has("d"))) valueName = "";
    DWORD type = sw.has("t") ? typeFromName(*sw.value("t")) : REG_SZ;
    std::string separator = sw.value("s").value_or("\\0");
    if (sw.has("s") && (type != REG_MULTI_SZ || separator.size() != 1)) {
        throw SyntaxFailure("Invalid syntax: /s takes one character and goes with REG_MULTI_SZ");
    }
    std::string data;
    if (valueName) {
        checkText(*valueName, "The value name");
        data = dataFor(type, sw.value("d").value_or(""), separator, session.textData());
    }

    regstore::Store& hive = session.hive();
    if (valueName && !sw.has("f")) {
        std::optional<regstore::KeyId> key = hive.findKey(name.root, name.path);
        if (key && hive.value(*key, *valueName) &&
            !session.confirm("Value " + shownName(*valueName) + " exists, overwrite")) {
            session.out() << kCanceled << '\n';
            return 1;
        }
    }
    hive.begin();
    try {
        regstore::KeyId key = hive.createKey(name.root, name.path);
        if (valueName) hive.setValue(key, *valueName, type, data);
        hive.commit();
    } catch (...) {
        hive.rollback();
        throw;
    }
    session.out() << kDone << '\n';
    return 0;
}

int removeKeyOrValue(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {"v"}, {"ve", "va", "f"});
    if (sw.positional().size() != 1)
        throw SyntaxFailure("Invalid syntax: delete needs one key name");
    if (sw.has("v") + sw.has("ve") + sw.has("va") > 1) {
        throw SyntaxFailure("Invalid syntax: /v, /ve and /va exclude each other");
    }
    KeyName name = parseKeyName(sw.positional()[0]);
    std::optional<std::string> valueName =
        sw.has("ve") ? std::optional<std::string>("") : sw.value("v");
    if (valueName) checkText(*valueName, "The value name");
    if (!valueName && !sw.has("va") && name.isRoot())
        throw Failure("A root key cannot be deleted.");

    regstore::Store& hive = session.hive();
    std::optional<regstore::KeyId> key = hive.findKey(name.root, name.path);
    if (!key) throw Failure(kNotFound);
    const std::string full = displayName(hive, name.root, *key);
    const bool force = sw.has("f");

    if (valueName) {
        if (!hive.value(*key, *valueName)) throw Failure(kNotFound);
        if (!force && !session.confirm("Delete the registry value " + shownName(*valueName))) {
            session.out() << kCanceled << '\n';
            return 1;
        }
        hive.deleteValue(*key, *valueName);
    } else if (sw.has("va")) {
        if (!force && !session.confirm("Delete all values under the registry key " + full)) {
            session.out() << kCanceled << '\n';
            return 1;
        }
        hive.begin();
        try {
            for (const regstore::Value& v : hive.values(*key)) hive.deleteValue(*key, v.name);
            hive.commit();
        } catch (...) {
            hive.rollback();
            throw;
        }
    } else {
        if (!force && !session.confirm("Permanently delete the registry key " + full)) {
            session.out() << kCanceled << '\n';
            return 1;
        }
        hive.deleteKey(*key);
    }
    session.out() << kDone << '\n';
    return 0;
}

}  // namespace knobreg
