// The registry value as the program sees it: Empty (missing, of another
// type, or unreadable), a String (REG_SZ) or an Integer (REG_DWORD).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <variant>

using RegValue = std::variant<std::monostate, QString, std::int32_t>;

namespace regvalue {

inline bool isEmpty(const RegValue& v) {
    return std::holds_alternative<std::monostate>(v);
}
inline bool isString(const RegValue& v) {
    return std::holds_alternative<QString>(v);
}
inline bool isInteger(const RegValue& v) {
    return std::holds_alternative<std::int32_t>(v);
}

// The text of a value: "" for Empty, the string itself, or the decimal digits
// of an integer (with a minus sign when negative).
QString text(const RegValue& v);

// Whether the value's text is not the empty string.
inline bool nonEmpty(const RegValue& v) {
    return !text(v).isEmpty();
}

// The value as a 32-bit integer by the ordinary numeric conversion: blanks
// around the number allowed, decimals rounded half to even, Empty is 0.
// nullopt for a text that is no number or lies outside the 32-bit range.
std::optional<std::int32_t> toInteger(const RegValue& v);

}  // namespace regvalue
