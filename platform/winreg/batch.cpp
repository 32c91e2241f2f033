#include "winreg/batch.h"

#include <new>
#include <optional>

#include "winreg/current_store.h"

namespace regstore {
namespace {

Batch*& openBatch() {
    static Batch* batch = nullptr;
    return batch;
}

}  // namespace

Batch::Batch() {
    if (openBatch()) return;  // a batch inside another is part of it
    Store* store = current();
    if (!store || !store->writable()) return;
    try {
        store->begin();
    } catch (const Error&) {
        return;  // each change on its own, refused or not as it comes
    } catch (const std::bad_alloc&) {
        return;
    }
    store_ = store;
    generation_ = generation();
    failed_writes::forgetBatched();
    before_ = failed_writes::mark();
    openBatch() = this;
}

Batch* Batch::open() {
    Batch* b = openBatch();
    return b && b->generation_ == generation() ? b : nullptr;
}

std::optional<failed_writes::Failure> Batch::stoppedBy() const {
    return failed_writes::firstSince(before_);
}

void Batch::end() {
    if (openBatch() != this) return;
    openBatch() = nullptr;
    if (generation_ != generation()) return;  // another store's turn: this one's is gone
    if (current() != store_) {
        // Found damaged in the batch and closed, its transaction with it.
        const std::optional<failed_writes::Failure> first = stoppedBy();
        failed_writes::failBatched(first ? first->code : ERROR_REGISTRY_CORRUPT,
                                   first ? first->reason : problem());
        return;
    }
    if (const std::optional<failed_writes::Failure> first = stoppedBy()) {
        store_->rollback();
        failed_writes::failBatched(first->code, first->reason);
        return;
    }
    try {
        store_->commit();
        failed_writes::forgetBatched();
    } catch (const PartlyCommitted& e) {
        std::vector<std::string> saved;
        for (Root r : e.saved()) saved.push_back(std::string(rootKey(r).longName) + "\\");
        failed_writes::failBatched(e.code(), e.what(), saved);
    } catch (const Error& e) {
        store_->rollback();
        if (e.code() == ERROR_REGISTRY_CORRUPT) markDamaged(e.what());
        failed_writes::failBatched(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        store_->rollback();
        failed_writes::failBatched(ERROR_OUTOFMEMORY, "There is not enough memory.");
    }
}

}  // namespace regstore
