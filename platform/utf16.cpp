#include "utf16.h"

#include <iconv.h>

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

bool fromUtf8(std::string_view utf8, std::string& utf16le) {
    std::size_t stop = 0;
    return convert("UTF-16LE", "UTF-8", utf8, utf16le, &stop);
}

}  // namespace utf16
