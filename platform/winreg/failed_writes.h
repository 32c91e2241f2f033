// Changes the Reg* functions could not make: for a full disk, an I/O error,
// a store kept busy too long, a store that refuses changes for the moment
// (Wine running in a prefix), a file that may not be written, or a value
// to be written into a key that does not exist (a value to be deleted from
// one is not there, as asked). The registry procedures pass no status on,
// so the platform keeps them here for the program to tell the user.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "winerror.h"

namespace failed_writes {

// Why a change was not made.
enum class Cause {
    Failed,       // the registry failed, or refused it for the moment
    KeyMissing,   // a value was to be written into a key that does not exist
    NotWritable,  // the file that holds it may not be written
};

struct Failure {
    std::string key;    // the key's full name, HKEY_CLASSES_ROOT keys under
                        // HKEY_LOCAL_MACHINE\Software\Classes
    std::string value;  // the value's name, UTF-8
    LONG code = 0;
    std::string reason;  // a sentence for the user
    // The setting the change was made for, in the words of the code that
    // asked for it; empty when it did not say.
    std::string setting;
    Cause cause = Cause::Failed;
};

// The failures since they were last taken, in order; taking clears them.
std::vector<Failure> take();
std::size_t count();

// Kept by the Reg* functions.
void record(Failure failure);

// Changes made in the open batch (batch.h), kept until it ends: should they
// not become durable, each is a failure. Kept by the Reg* functions.
void noteBatched(Failure change);
// The batch's changes become failures with `code` and `reason`, but for
// those under `saved` (key names beginning so, such as
// "HKEY_CURRENT_USER\\"), which were kept; none is kept for the next batch.
void failBatched(LONG code, const std::string& reason, const std::vector<std::string>& saved = {});
void forgetBatched();

// Where the failures and the batch's changes stand, before a change.
struct Mark {
    std::size_t failures = 0;
    std::size_t batched = 0;
};
Mark mark();
// The first failure kept since `from` that stops a batch, if any: a key
// that does not exist stops nothing, the other changes are still made.
std::optional<Failure> firstSince(Mark from);
// Names the setting of the failures and batched changes kept since `from`,
// as the code that asked for the change knows it.
void nameSince(Mark from, const std::string& setting);

}  // namespace failed_writes
