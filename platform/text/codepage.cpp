#include "text/codepage.h"

#include "text/ascii.h"
#include "text/utf16.h"
#include "text/utf8.h"

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

bool undefinedInCp1252(char32_t c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    if (ascii::isAscii(utf8)) return std::string(utf8);
    thread_local Converter converter("CP1252", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    while (!converter.run(utf8, out)) {
        char32_t cp = 0;
        size_t n = utf8::sequence(utf8, &cp);
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
    if (ascii::isAscii(cp1252)) return std::string(cp1252);
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
    if (ascii::isAscii(cp1252)) {
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
