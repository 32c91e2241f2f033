// knobreg export KEY FILE [/y] [/a]
// knobreg import FILE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "dotreg/dotreg.h"
#include "knobreg.h"

namespace knobreg {
namespace {

[[noreturn]] void cannotWrite(const std::string& file, int error) {
    throw Failure("Cannot write " + file + ": " + std::strerror(error) + ".");
}

int writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// A regular file is written beside its place and moved there, so that it is
// either the old file or the complete new one, never half written; a link
// is followed to its file. Anything else (a terminal, a pipe, a device) is
// written into as it stands. A new file may hold the logon password, so only
// its owner may read it.
void writeWhole(const std::string& file, const std::string& bytes) {
    std::string target = file;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(file.c_str(), nullptr)) {
            target = real;
            std::free(real);
        } else if (errno != ENOENT) {
            cannotWrite(file, errno);
        }
    }
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) cannotWrite(file, errno);
        int error = writeAll(fd, bytes);
        if (::close(fd) != 0 && !error) error = errno;
        if (error) cannotWrite(file, error);
        return;
    }
    std::string temp = target + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) cannotWrite(file, errno);
    int error = writeAll(fd, bytes);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        cannotWrite(file, error);
    }
}

}  // namespace

int exportKey(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {}, {"y", "a"});
    if (sw.positional().size() != 2)
        throw SyntaxFailure("Invalid syntax: export needs a key name and a file name");
    KeyName name = parseKeyName(sw.positional()[0]);
    const std::string& file = sw.positional()[1];

    regstore::Store& hive = session.hive();
    session.bringUpToDate(name);
    std::optional<regstore::KeyId> key = hive.findKey(name.root, name.path);
    if (!key) throw Failure(kNotFound);
    std::string text;
    try {
        text = dotreg::write(hive, *key, displayName(hive, name.root, *key),
                             sw.has("a") ? dotreg::Format::Regedit4 : dotreg::Format::Unicode);
    } catch (const regstore::Error&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw Failure(std::string("Cannot export: ") + e.what());
    }
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && !sw.has("y") &&
        !session.confirm("File " + file + " already exists. Overwrite")) {
        session.out() << kCanceled << '\n';
        return 1;
    }
    writeWhole(file, text);
    session.out() << kDone << '\n';
    return 0;
}

int importFile(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {}, {});
    if (sw.positional().size() != 1)
        throw SyntaxFailure("Invalid syntax: import needs one file name");
    const std::string& file = sw.positional()[0];
    regstore::Store& hive = session.hive();
    try {
        // The text quoted from the file is escaped already (dotreg::Warning).
        const dotreg::Skipped skipped = dotreg::importFile(hive, file, dotreg::Reading::AsRegExe);
        for (const dotreg::Warning& w : skipped.warnings) {
            session.err() << "knobreg: " << file;
            if (w.line > 0) session.err() << ':' << w.line;
            session.err() << ": " << w.what << '\n';
        }
        if (skipped.moreWarnings > 0) {
            session.err() << "knobreg: " << file << ": " << skipped.moreWarnings
                          << " more warnings, not shown\n";
        }
    } catch (const dotreg::ImportError& e) {
        if (e.line() > 0)
            throw Failure(file + ", line " + std::to_string(e.line()) + ": " + e.reason());
        throw Failure(e.reason());
    }
    session.out() << kDone << '\n';
    return 0;
}

}  // namespace knobreg
