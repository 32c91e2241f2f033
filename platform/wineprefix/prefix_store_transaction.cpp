// The prefix store's transactions: begun under both files' locks or through
// the running Wine, made durable with their history's entry, rolled back;
// and the history itself.
#include <algorithm>
#include <ctime>

#include "files/atomic_file.h"
#include "wineprefix/prefix_store_impl.h"
#include "winreg/history.h"

namespace regstore {

namespace fs = std::filesystem;

void PrefixStore::beginChanges() {
    Impl& impl = loaded();
    if (impl.mayChange()) {
        // Through the running Wine: nothing to lock, one import at the end.
        // What the change replaces is read from that Wine as it comes:
        // the settings' keys now, other keys as the change reaches them.
        impl.inTransaction = true;
        impl.liveMode = true;
        impl.pending.clear();
        if (impl.journal) impl.readLive(impl.liveServer);
        return;
    }
    try {
        impl.lock(kLocalMachineFile);
        impl.lock(kCurrentUserFile);
        // Either file may have been read again under its lock.
        if (impl.mayChange()) throw Refused(ERROR_ACCESS_DENIED, impl.startedMessage());
    } catch (...) {
        impl.endTransaction();
        throw;
    }
    impl.inTransaction = true;
}

void PrefixStore::commitChanges(history::Entry* entry) {
    Impl& impl = loaded();
    if (impl.liveMode) {
        bool kept = false;
        try {
            if (entry) {
                impl.journal->prepare(*entry);
                kept = true;
            }
            impl.importPending();
        } catch (...) {
            // Wine may have taken part of it: the entry stays unknown, to be
            // settled by what Wine holds when the history is next read.
            rollbackChanges();
            throw;
        }
        if (kept) impl.confirm(*entry);
        impl.endTransaction();
        return;
    }
    // Never the files behind a server that has started since begin().
    if (impl.live && impl.live->server().state != LiveWine::State::None) {
        rollbackChanges();
        throw Refused(ERROR_ACCESS_DENIED, impl.startedMessage());
    }
    // Both files are written and synced before either takes its place, so
    // that a full disk or a failing write leaves both as they were; the
    // history's entry is written durably before the first does.
    std::vector<int> changed;
    std::vector<Rewrite> rewrites;
    std::vector<std::unique_ptr<atomic_file::Replacement>> replacements;
    bool kept = false;
    try {
        for (int f : {kLocalMachineFile, kCurrentUserFile}) {
            Impl::File& file = impl.file(f);
            if (!file.changed) continue;
            rewrites.push_back(file.text.serialize());
            replacements.push_back(file.disk.prepare(rewrites.back().text));
            changed.push_back(f);
        }
        if (entry && !changed.empty()) {
            impl.journal->prepare(*entry);
            kept = true;
        }
        // Each file in its place, then each folder synced once: the files
        // of a prefix share one, unless they are links to others.
        for (size_t k = 0; k < changed.size(); ++k) {
            Impl::File& file = impl.file(changed[k]);
            try {
                file.disk.put(*replacements[k]);
            } catch (const Error& e) {
                if (k == 0) throw;
                // The files before it have taken their places, and the
                // entry keeps what they hold.
                std::vector<Root> saved;
                for (size_t p = 0; p < k; ++p) {
                    impl.file(changed[p]).disk.syncFolder();
                    saved.push_back(changed[p] == kLocalMachineFile ? Root::LocalMachine
                                                                    : Root::CurrentUser);
                }
                if (kept) {
                    std::erase_if(entry->steps, [&](const history::Step& step) {
                        return std::find(saved.begin(), saved.end(), step.key.root) == saved.end();
                    });
                    impl.confirm(*entry);
                    kept = false;
                }
                rollbackChanges();
                throw PartlyCommitted(e, std::move(saved));
            }
            file.text.adopt(std::move(rewrites[k]));
            file.changed = false;
        }
        std::vector<fs::path> synced;
        for (size_t k = 0; k < changed.size(); ++k) {
            const fs::path folder = atomic_file::folderOf(replacements[k]->target());
            if (std::find(synced.begin(), synced.end(), folder) != synced.end()) continue;
            impl.file(changed[k]).disk.syncFolder();
            synced.push_back(folder);
        }
    } catch (const PartlyCommitted&) {
        throw;
    } catch (...) {
        // Replaced but not synced, the files are what the entry says:
        // settled when the history is next read.
        if (kept && impl.file(changed.front()).changed) impl.forget(*entry);
        rollbackChanges();
        throw;
    }
    if (kept) impl.confirm(*entry);
    impl.endTransaction();
}

void PrefixStore::rollbackChanges() {
    Impl& impl = loaded();
    if (impl.liveMode) {
        const bool changed = !impl.pending.empty();
        impl.endTransaction();
        if (changed) impl.refresh();
        return;
    }
    for (int f : {kLocalMachineFile, kCurrentUserFile}) {
        if (!impl.file(f).changed) continue;
        try {
            impl.reload(f);
        } catch (...) {
        }
    }
    impl.endTransaction();
}

void PrefixStore::Impl::confirm(const history::Entry& entry) {
    try {
        journal->made(entry);
    } catch (const std::exception&) {
    }
}

void PrefixStore::Impl::forget(const history::Entry& entry) {
    try {
        journal->drop(entry);
    } catch (const std::exception&) {
    }
}

std::vector<history::Entry> PrefixStore::history() {
    Impl& impl = loaded();
    if (!impl.journal) return {};
    // Older than any change under way: a change that a crash or a failure
    // left unknown.
    const std::int64_t settled = static_cast<std::int64_t>(std::time(nullptr)) - 60;
    std::vector<history::Entry> out;
    for (history::Entry& e : impl.journal->entries()) {
        if (e.made) {
            out.push_back(std::move(e));
            continue;
        }
        if (e.time > settled) continue;
        std::vector<KeyPath> keys;
        for (const history::Step& step : e.steps) keys.push_back(step.key);
        if (!bringUpToDate(keys, true).empty()) continue;  // Wine cannot tell now
        history::Entry made = e;
        std::erase_if(made.steps,
                      [&](const history::Step& step) { return !history::holds(*this, step); });
        if (made.steps.empty()) {
            impl.forget(e);
        } else {
            impl.confirm(made);
            out.push_back(std::move(made));
        }
    }
    return out;
}

void PrefixStore::aboutToChange(const std::vector<KeyPath>& keys, bool below) {
    Impl& impl = loaded();
    if (!impl.liveMode) return;
    std::vector<KeyPath> stale;
    for (const KeyPath& k : keys) {
        if (!impl.fresh.count(impl.freshName(k))) stale.push_back(k);
    }
    if (stale.empty()) return;
    // What a change replaces must be known before it is made.
    const std::string why = impl.readThrough(stale, below);
    if (!why.empty()) throw Refused(ERROR_ACCESS_DENIED, why + " Nothing was changed.");
}

bool PrefixStore::canKeepHistory() const {
    return impl_->journal != nullptr;
}

}  // namespace regstore
