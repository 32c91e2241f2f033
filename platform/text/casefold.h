// Case-insensitive matching of names, as Windows matches registry names and
// file names: Unicode simple case folding.
#pragma once

#include <string>
#include <string_view>

namespace casefold {

// The folded form of a UTF-8 name; two names match when their folds are equal.
std::string fold(std::string_view utf8);

}  // namespace casefold
