#include "text/casefold.h"

#include <QString>

namespace casefold {

std::string fold(std::string_view utf8) {
    bool ascii = true;
    std::string out(utf8);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            ascii = false;
            break;
        }
        if (u >= 'A' && u <= 'Z') c = static_cast<char>(u + 32);
    }
    if (ascii) return out;
    QByteArray folded =
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<size_t>(folded.size()));
}

}  // namespace casefold
