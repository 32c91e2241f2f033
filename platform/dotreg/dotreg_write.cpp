// Writing .reg files: a key and everything below it, in the layout of the
// registry editor (CRLF lines, a blank line before each key, long hex data
// wrapped with backslashes).
#include <optional>
#include <utility>

#include "dotreg/dotreg.h"
#include "text/codepage.h"
#include "text/hexdigits.h"
#include "text/utf16.h"

namespace dotreg {
namespace {

constexpr size_t kLineWidth = 80;

// A name must fit on one line and, in a REGEDIT4 file, in the code page.
void checkName(const std::string& name, Format format) {
    if (name.find_first_of("\r\n") != std::string::npos) {
        throw std::runtime_error("the name \"" + name +
                                 "\" holds a line break, which a registry file cannot carry");
    }
    if (format == Format::Regedit4 && codepage::toUtf8(codepage::fromUtf8(name)) != name) {
        throw std::runtime_error(
            "the name \"" + name +
            "\" has characters that a REGEDIT4 file (code page 1252) cannot carry");
    }
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// The text of a text value as UTF-8 when it converts exactly (a REGEDIT4
// file also needs every character in the code page); nullopt otherwise.
std::optional<std::string> exactText(std::string_view data, regstore::TextData text,
                                     Format format) {
    if (text == regstore::TextData::CodePage) return codepage::toUtf8(data);
    if (data.size() % 2 != 0) return std::nullopt;
    utf16::Decoded d = utf16::toUtf8(data);
    if (!d.ok) return std::nullopt;
    if (format == Format::Regedit4 && codepage::toUtf8(codepage::fromUtf8(d.utf8)) != d.utf8)
        return std::nullopt;
    return d.utf8;
}

// A string value is written as "text" only when that text reads back to the
// same bytes: the data is text and exactly one terminating NUL, on one line.
std::optional<std::string> quotable(const regstore::Value& v, regstore::TextData text,
                                    Format format) {
    const std::string_view d = v.data;
    const size_t unit = text == regstore::TextData::Utf16 ? 2 : 1;
    if (v.type != REG_SZ || d.size() < unit || d.size() % unit != 0) return std::nullopt;
    const std::string_view body = d.substr(0, d.size() - unit);
    if (d.substr(d.size() - unit).find_first_not_of('\0') != std::string_view::npos)
        return std::nullopt;
    std::optional<std::string> t = exactText(body, text, format);
    if (!t || t->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return std::nullopt;
    return t;
}

// prefix followed by the bytes as comma-separated hex pairs, wrapped into
// lines that end in ",\" and continue indented by two spaces.
std::string hexLines(std::string line, std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string item = hexdigits::of(static_cast<unsigned char>(bytes[i]), 2);
        if (i + 1 < bytes.size()) item.push_back(',');
        // Room for the item and, when more follow, the backslash.
        if (line.size() + item.size() + 1 > kLineWidth && line.size() > 2) {
            out += line + "\\\r\n";
            line = "  ";
        }
        line += item;
    }
    return out + line + "\r\n";
}

std::string valueLines(const regstore::Value& v, regstore::TextData text, Format format) {
    checkName(v.name, format);
    std::string line = v.name.empty() ? "@=" : quote(v.name) + "=";
    if (std::optional<std::string> t = quotable(v, text, format)) return line + quote(*t) + "\r\n";
    if (v.type == REG_DWORD && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
        return line + "dword:" + hexdigits::of(n, 8) + "\r\n";
    }
    // The hex data of text values: UTF-16LE in a Unicode file, code-page
    // bytes in a REGEDIT4 file.
    std::string bytes = v.data;
    if (isTextType(v.type)) {
        if (format == Format::Unicode && text == regstore::TextData::CodePage) {
            bytes = codepage::toUtf16(v.data);
        } else if (format == Format::Regedit4 && text == regstore::TextData::Utf16) {
            std::optional<std::string> t = exactText(v.data, text, format);
            if (!t) {
                throw std::runtime_error("the value \"" + v.name +
                                         "\" holds text that a REGEDIT4 file (code page 1252) "
                                         "cannot carry");
            }
            bytes = codepage::fromUtf8(*t);
        }
    }
    line += v.type == REG_BINARY ? "hex:" : "hex(" + hexdigits::of(v.type, 1) + "):";
    return hexLines(std::move(line), bytes);
}

}  // namespace

std::string write(regstore::Store& hive, regstore::KeyId key, const std::string& name,
                  Format format) {
    std::string text(format == Format::Unicode ? "Windows Registry Editor Version 5.00\r\n"
                                               : "REGEDIT4\r\n");
    // Depth first, each key before its subkeys, siblings in name order.
    std::vector<std::pair<regstore::KeyId, std::string>> pending{{key, name}};
    while (!pending.empty()) {
        auto [id, keyName] = std::move(pending.back());
        pending.pop_back();
        checkName(keyName, format);
        text += "\r\n[" + keyName + "]\r\n";
        for (const regstore::Value& v : hive.values(id))
            text += valueLines(v, hive.textData(), format);
        std::vector<regstore::Subkey> subkeys = hive.subkeys(id);
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.emplace_back(it->id, keyName + "\\" + it->name);
    }
    text += "\r\n";
    if (format == Format::Regedit4)
        return codepage::fromUtf8(text);  // every name was checked above
    std::string out = "\xFF\xFE";
    if (!utf16::fromUtf8(text, out))
        throw std::runtime_error("a name in the registry is not valid text");
    return out;
}

}  // namespace dotreg
