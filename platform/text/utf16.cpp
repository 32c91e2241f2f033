#include "text/utf16.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace utf16 {
namespace {

// Runs one iconv conversion over the whole input. False at the first sequence
// that cannot be converted; *stop is the number of input bytes converted.
bool convert(const char* to, const char* from, std::string_view in, std::string& out,
             std::size_t* stop) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    bool ok = true;
    char buffer[4096];
    std::string_view rest = in;
    while (!rest.empty()) {
        char* src = const_cast<char*>(rest.data());
        std::size_t srcLeft = rest.size();
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        rest.remove_prefix(rest.size() - srcLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    *stop = in.size() - rest.size();
    return ok;
}

}  // namespace

Decoded toUtf8(std::string_view utf16le) {
    Decoded d;
    d.ok = convert("UTF-8", "UTF-16LE", utf16le, d.utf8, &d.stop);
    return d;
}

std::string toUtf8Lenient(std::string_view utf16le) {
    std::string out;
    out.reserve(utf16le.size() / 2);
    bool ascii = utf16le.size() % 2 == 0;
    for (std::size_t i = 0; i < utf16le.size() && ascii; i += 2)
        ascii = utf16le[i + 1] == '\0' && static_cast<unsigned char>(utf16le[i]) < 0x80;
    if (ascii) {
        for (std::size_t i = 0; i < utf16le.size(); i += 2) out.push_back(utf16le[i]);
        return out;
    }
    while (!utf16le.empty()) {
        Decoded d = toUtf8(utf16le);
        out += d.utf8;
        if (d.ok) break;
        out += "\xEF\xBF\xBD";  // U+FFFD
        utf16le.remove_prefix(std::min(utf16le.size(), d.stop + 2));
    }
    return out;
}

bool fromUtf8(std::string_view utf8, std::string& utf16le) {
    std::size_t stop = 0;
    return convert("UTF-16LE", "UTF-8", utf8, utf16le, &stop);
}

}  // namespace utf16
