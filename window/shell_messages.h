// What the user is told when the shell could not open a document.
#pragma once

#include <QString>
#include <cstdint>

namespace shellmessages {

// The message for a shell-open result: empty for success (greater than 32),
// otherwise the text for that error code, "Unknown error" for codes that
// have none of their own (0 and negative values included).
QString forResult(std::int32_t result);

}  // namespace shellmessages
