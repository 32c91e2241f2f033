#include "codepage.h"

#include "utf16.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace codepage {
namespace {

// One converter per direction and thread, opened once: iconv_open is costly
// next to the handful of bytes a registry name holds.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; returns false and leaves `in` at the
    // offending sequence when it meets one it cannot convert.
    bool run(std::string_view& in, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        while (!in.empty()) {
            char* src = const_cast<char*>(in.data());
            size_t srcLeft = in.size();
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            in.remove_prefix(in.size() - srcLeft);
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

  private:
    iconv_t cd_;
};

bool undefinedInCp1252(unsigned c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// Length of the UTF-8 sequence that starts `s`, or 0 when it is not valid.
size_t utf8Length(std::string_view s, unsigned* codePoint) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned lead = byte(0);
    size_t n = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 0;
    if (n == 0 || n > s.size()) return 0;
    unsigned cp = n == 1 ? lead : lead & (0x7Fu >> n);
    for (size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    *codePoint = cp;
    return n;
}

// Both encodings agree on ASCII, which is what registry names nearly always
// are; such text needs no converter.
bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    thread_local Converter converter("CP1252", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    while (!converter.run(utf8, out)) {
        unsigned cp = 0;
        size_t n = utf8Length(utf8, &cp);
        if (n == 2 && undefinedInCp1252(cp)) {
            out.push_back(static_cast<char>(cp));
        } else {
            out.push_back('?');
        }
        utf8.remove_prefix(n == 0 ? 1 : n);
    }
    return out;
}

std::string toUtf8(std::string_view cp1252) {
    if (isAscii(cp1252)) return std::string(cp1252);
    thread_local Converter converter("UTF-8", "CP1252");
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    while (!converter.run(cp1252, out)) {
        // Only the five undefined bytes stop the converter.
        auto c = static_cast<unsigned char>(cp1252.front());
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        cp1252.remove_prefix(1);
    }
    return out;
}

std::string toUtf16(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() * 2);
    if (isAscii(cp1252)) {
        for (char c : cp1252) {
            out.push_back(c);
            out.push_back('\0');
        }
        return out;
    }
    utf16::fromUtf8(toUtf8(cp1252), out);  // the code page's UTF-8 is always valid
    return out;
}

std::string fromUtf16(std::string_view utf16le) {
    // An unpaired surrogate reads as U+FFFD, which the code page writes '?'.
    return fromUtf8(utf16::toUtf8Lenient(utf16le.substr(0, utf16le.size() & ~size_t{1})));
}

std::string fromText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return fromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString toText(std::string_view cp1252) {
    const std::string utf8 = toUtf8(cp1252);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace codepage
