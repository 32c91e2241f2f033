#include "registry/regvalue.h"

#include <cmath>
#include <limits>
#include <optional>

namespace regvalue {

QString text(const RegValue& v) {
    if (const QString* s = std::get_if<QString>(&v)) return *s;
    if (const std::int32_t* i = std::get_if<std::int32_t>(&v)) return QString::number(*i);
    return {};
}

std::optional<std::int32_t> toInteger(const RegValue& v) {
    if (const std::int32_t* i = std::get_if<std::int32_t>(&v)) return *i;
    if (isEmpty(v)) return 0;
    QString s = std::get<QString>(v).trimmed();
    bool ok = false;
    double d = s.toDouble(&ok);  // C locale: '.' is the decimal point
    if (!ok || !std::isfinite(d)) return std::nullopt;
    d = std::nearbyint(d);  // the default rounding mode rounds half to even
    if (d < std::numeric_limits<std::int32_t>::min() ||
        d > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(d);
}

}  // namespace regvalue
