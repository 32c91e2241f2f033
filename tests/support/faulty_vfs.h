// A SQLite VFS for tests that fails one chosen operation, as SQLite's own
// tests do: it wraps the default unix VFS and, once installed, is the
// default for every connection the process opens. Armed, it fails the Nth
// write, sync or file creation from then on with the code given; "full"
// fails every write and every growth of the shared-memory index as a disk
// without free space does.
#pragma once

namespace faulty_vfs {

enum class Point {
    Write,   // xWrite of any file, and growing the shared-memory index (a
             // region mapped for the first time by a writer)
    Sync,    // xSync
    Create,  // xOpen that makes a file which does not exist yet (the
             // write-ahead log, temporary files; the unix VFS makes the
             // shared-memory index itself, so only its growth can fail)
};

const char* name(Point point);

// Makes the VFS the default (once per process) and disarms it.
void install();

// Fails the `nth` operation of `point` from now on (counted from 1) with
// `code`, setting errno to `error` for SQLite's error reports.
void arm(Point point, int nth, int code, int error);
// Stops failing anything; the counts go on.
void disarm();
// Whether the armed operation has been reached since arm().
bool fired();
// Operations of `point` since arm() (or since install()).
int count(Point point);

// A disk without free space: every write fails with SQLITE_FULL and the
// shared-memory index cannot grow (ENOSPC), until set back.
void setFull(bool full);

}  // namespace faulty_vfs
