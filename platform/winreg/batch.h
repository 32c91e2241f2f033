// A batch of changes made through the Reg* functions, made durable together.
// While one is open the current store holds the changes in one transaction
// (reads see them), and ending it makes them durable at once: one commit of
// the SQLite hive, each changed file of a Wine prefix rewritten once. The
// Reg* calls themselves stay as they are, each opening, changing and closing.
//
// When a change in the batch fails, the changes after it are not attempted,
// and when the batch cannot be made durable, none of it is (on a Wine
// prefix, per file at worst: one file may have taken its place before the
// other failed). Each change of the batch that did not last is then kept as
// a failed change with the reason (failed_writes.h). A store that refuses a
// batch for the moment (a Wine running in a prefix that cannot be used)
// makes each change on its own, as without one. On a prefix where a usable
// Wine runs, the batch is one import into it.
#pragma once

#include <cstdint>
#include <optional>

#include "winreg/failed_writes.h"
#include "winreg/store.h"

namespace regstore {

class Batch {
  public:
    Batch();
    ~Batch() { end(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Makes the batch durable, or keeps its changes as failed; once.
    void end();

    // The batch open now; null when there is none. The Reg* functions ask.
    static Batch* open();
    // The failure that stopped the batch, which the Reg* functions give each
    // change asked for after it; nullopt while none has.
    std::optional<failed_writes::Failure> stoppedBy() const;

  private:
    Store* store_ = nullptr;
    std::uint64_t generation_ = 0;
    failed_writes::Mark before_;
};

}  // namespace regstore
