// knobreg query KEY [/v NAME | /ve] [/s]
//
// Each key is shown as a blank line, its full name and one line per value,
// indented by four spaces: name, type and data separated by four spaces.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>

#include "knobreg.h"

namespace knobreg {
namespace {

constexpr const char* kGap = "    ";

std::string typeName(DWORD type) {
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    if (type < std::size(kNames)) return kNames[type];
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "REG_UNKNOWN(0x%X)", static_cast<unsigned>(type));
    return buffer;
}

std::string hexBytes(const std::string& data) {
    std::string out;
    char buffer[4];
    for (unsigned char c : data) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        out += buffer;
    }
    return out;
}

std::string number(const std::string& data) {
    unsigned long long n = 0;
    for (size_t i = data.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(data[i]);
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", n);
    return buffer;
}

std::string dataText(const regstore::Value& v, regstore::TextData encoding) {
    switch (v.type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            const std::string text = fromStoreText(v.data, encoding);
            return text.substr(0, text.find('\0'));
        }
        case REG_MULTI_SZ: {
            // The strings, each ended by a NUL, and a NUL after the last.
            const std::string text = fromStoreText(v.data, encoding);
            std::string out;
            std::string_view rest = text;
            while (!rest.empty() && rest.front() != '\0') {
                size_t end = std::min(rest.find('\0'), rest.size());
                if (!out.empty()) out += "\\0";
                out += rest.substr(0, end);
                rest.remove_prefix(std::min(end + 1, rest.size()));
            }
            return out;
        }
        case REG_DWORD:
            return v.data.size() == 4 ? number(v.data) : hexBytes(v.data);
        case 11:  // REG_QWORD
            return v.data.size() == 8 ? number(v.data) : hexBytes(v.data);
        default:
            return hexBytes(v.data);
    }
}

void printValue(std::ostream& out, const regstore::Value& v, regstore::TextData encoding) {
    out << kGap << (v.name.empty() ? "(Default)" : v.name) << kGap << typeName(v.type) << kGap
        << dataText(v, encoding) << '\n';
}

}  // namespace

int query(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {"v"}, {"ve", "s"});
    if (sw.positional().size() != 1)
        throw SyntaxFailure("Invalid syntax: query needs one key name");
    if (sw.has("v") && sw.has("ve"))
        throw SyntaxFailure("Invalid syntax: /v and /ve exclude each other");
    KeyName name = parseKeyName(sw.positional()[0]);
    std::optional<std::string> wanted =
        sw.has("ve") ? std::optional<std::string>("") : sw.value("v");
    if (wanted) checkText(*wanted, "The value name");

    regstore::Store& hive = session.hive();
    session.bringUpToDate(name);
    std::optional<regstore::KeyId> key = hive.findKey(name.root, name.path);
    if (!key) throw Failure(kNotFound);
    std::ostream& out = session.out();

    if (!sw.has("s")) {
        std::string full = displayName(hive, name.root, *key);
        if (wanted) {
            std::optional<regstore::Value> v = hive.value(*key, *wanted);
            if (!v) throw Failure(kNotFound);
            out << '\n' << full << '\n';
            printValue(out, *v, hive.textData());
            out << '\n';
            return 0;
        }
        out << '\n' << full << '\n';
        for (const regstore::Value& v : hive.values(*key)) printValue(out, v, hive.textData());
        std::vector<regstore::Subkey> subkeys = hive.subkeys(*key);
        if (!subkeys.empty()) out << '\n';
        for (const regstore::Subkey& s : subkeys) out << full << '\\' << s.name << '\n';
        return 0;
    }

    // The key and everything below it, depth first.
    int matches = 0;
    std::vector<std::pair<regstore::KeyId, std::string>> pending{
        {*key, displayName(hive, name.root, *key)}};
    while (!pending.empty()) {
        auto [id, full] = std::move(pending.back());
        pending.pop_back();
        if (wanted) {
            if (std::optional<regstore::Value> v = hive.value(id, *wanted)) {
                out << '\n' << full << '\n';
                printValue(out, *v, hive.textData());
                ++matches;
            }
        } else {
            out << '\n' << full << '\n';
            for (const regstore::Value& v : hive.values(id)) printValue(out, v, hive.textData());
        }
        std::vector<regstore::Subkey> subkeys = hive.subkeys(id);
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.emplace_back(it->id, full + "\\" + it->name);
    }
    if (wanted) out << "\nEnd of search: " << matches << " match(es) found.\n";
    return 0;
}

}  // namespace knobreg
