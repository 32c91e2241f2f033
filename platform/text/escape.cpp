#include "text/escape.h"

#include "text/hexdigits.h"
#include "text/utf8.h"

namespace escape {
namespace {

std::string escaped(std::string_view text, bool backslashes) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = utf8::decode(text.substr(i), &cp);
        const bool control = cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0);
        if (n == 0 || control) {
            // A malformed sequence is escaped one byte at a time, so that
            // what follows its first byte is read afresh.
            for (std::size_t k = 0; k < (n == 0 ? 1 : n); ++k) {
                out += "\\x";
                out += hexdigits::of(static_cast<unsigned char>(text[i + k]), 2);
            }
            i += n == 0 ? 1 : n;
        } else if (cp == '\\' && backslashes) {
            out += "\\\\";
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace

std::string forTerminal(std::string_view text) {
    return escaped(text, true);
}

std::string linesForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (true) {
        const std::size_t end = text.find('\n');
        out += escaped(text.substr(0, end), false);
        if (end == std::string_view::npos) return out;
        out += '\n';
        text.remove_prefix(end + 1);
    }
}

}  // namespace escape
