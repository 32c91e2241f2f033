#include "machine/running_wine.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "machine/data_directory.h"
#include "machine/wineserver.h"
#include "wineprefix/prefix_store.h"

extern char** environ;

namespace machine {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void refuse(const std::string& why) {
    throw regstore::Refused(ERROR_ACCESS_DENIED, why);
}

// The most a Wine program of ours may write: a registry's keys in full.
constexpr std::uintmax_t kMostOutput = std::uintmax_t{512} << 20;

// A file of our own for a Wine program's input or output, removed when it
// goes.
class TempFile {
  public:
    explicit TempFile(const char* suffix) {
        const char* t = std::getenv("TMPDIR");
        std::string pattern =
            std::string(t && *t == '/' ? t : "/tmp") + "/knobwise-XXXXXX" + suffix;
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::strlen(suffix)));
        if (fd < 0)
            refuse("Knobwise cannot make a temporary file for Wine: " +
                   std::string(std::strerror(errno)));
        ::close(fd);
        path_ = pattern;
    }
    ~TempFile() { ::unlink(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const fs::path& path() const { return path_; }
    // What the program wrote; a Wine that writes more than any registry
    // holds is refused rather than read.
    std::string text() const {
        std::error_code ec;
        if (fs::file_size(path_, ec) > kMostOutput)
            refuse("Wine wrote more than any registry holds; nothing of it was taken.");
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    fs::path path_;
};

bool executable(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

// The first line Wine wrote, for a message.
std::string firstLine(std::string text) {
    text = text.substr(0, text.find_first_of("\r\n"));
    return text.size() > 200 ? text.substr(0, 200) : text;
}

}  // namespace

regstore::LiveWine::Server RunningWine::server() {
    const std::optional<pid_t> pid = wineserver::holder(prefix_);
    if (!pid) return {};
    auto unusable = [&](const std::string& why) {
        return Server{State::Unusable, wineserver::runningMessage(prefix_, why), {}};
    };
    if (*pid == 0) return unusable("Knobwise cannot tell which program its server is");
    const fs::path proc = "/proc/" + std::to_string(*pid);
    struct stat st {};
    if (::stat(proc.c_str(), &st) != 0)
        return unusable("its server (process " + std::to_string(*pid) + ") cannot be looked at");
    if (st.st_uid != ::getuid()) return unusable("its server belongs to another user");
    std::error_code ec;
    const fs::path exe = fs::read_symlink(proc / "exe", ec);
    if (ec) return unusable("Knobwise cannot see which program its server runs");
    const std::string name = exe.filename().string();
    if (name.ends_with(" (deleted)") || !fs::exists(exe, ec))
        return unusable("the Wine its server was started from (" + exe.string() + ") is gone");
    if (!name.starts_with("wineserver"))
        return unusable("the lock of its server is held by " + exe.string() +
                        ", which is not a Wine server");
    const char* beside[2] = {"wine", "wine64"};
    if (name == "wineserver64") std::swap(beside[0], beside[1]);
    fs::path wine;
    for (const char* b : beside) {
        if (executable(exe.parent_path() / b)) {
            wine = exe.parent_path() / b;
            break;
        }
    }
    if (wine.empty()) return unusable("there is no wine program beside its server " + exe.string());
    server_ = exe;
    wine_ = wine;
    return {State::Usable, {}, std::to_string(*pid) + " " + exe.string()};
}

void RunningWine::run(const std::vector<std::string>& args, const fs::path& out,
                      const std::string& what) {
    if (wine_.empty() && server().state != State::Usable)
        refuse("Wine is no longer running in " + prefix_.string() + "; " + what + " stopped.");
    // Our own variables for Wine, every other one as it is.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view v(*e);
        if (v.starts_with("WINEPREFIX=") || v.starts_with("WINEDEBUG=") ||
            v.starts_with("WINELOADER=") || v.starts_with("WINESERVER="))
            continue;
        env.emplace_back(v);
    }
    env.push_back("WINEPREFIX=" + prefix_.string());
    env.push_back("WINEDEBUG=-all");
    env.push_back("WINESERVER=" + server_.string());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv{wine_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);

    // Output into files, never a pipe: the Wine services a program starts
    // inherit its handles and keep a pipe open long after it has ended.
    TempFile errors(".txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errors.path().c_str(), O_WRONLY | O_TRUNC, 0600);
    pid_t child = 0;
    const int rc = posix_spawn(&child, wine_.c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) refuse(wine_.string() + " cannot be started: " + std::strerror(rc) + ".");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            refuse("Wine did not finish " + what + " within " + std::to_string(kTimeoutSeconds) +
                   " seconds; nothing more was done.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string said = firstLine(errors.text());
        refuse("Wine failed " + what + (said.empty() ? "." : ": " + said));
    }
}

std::string RunningWine::read(const std::vector<regstore::KeyPath>& keys, bool below) {
    const fs::path reader = registryReader();
    if (reader.empty())
        refuse(
            "Knobwise's reader for a running Wine (knobwise-regread.exe) is not installed, so "
            "it cannot read what that Wine holds.");
    std::vector<std::string> args{reader.string()};
    if (below) args.emplace_back("/s");
    for (const regstore::KeyPath& k : keys)
        args.push_back((k.root == regstore::Root::CurrentUser ? "HKCU\\" : "HKLM\\") + k.path);
    TempFile out(".reg");
    run(args, out.path(), "reading the registry");
    return out.text();
}

void RunningWine::import(std::string_view regFile) {
    TempFile file(".reg");
    {
        std::ofstream o(file.path(), std::ios::binary);
        o.write(regFile.data(), static_cast<std::streamsize>(regFile.size()));
        if (!o.flush()) refuse("Knobwise cannot write a temporary file for Wine.");
    }
    // The file by its Unix path, which Wine reaches whatever drives the
    // prefix has.
    std::string windowsPath = "\\\\?\\unix" + file.path().string();
    for (char& c : windowsPath) {
        if (c == '/') c = '\\';
    }
    TempFile out(".txt");
    run({"reg", "import", windowsPath}, out.path(), "writing the changes");
}

fs::path registryReader() {
    std::error_code ec;
    fs::path p = dataDirectory() / "knobwise-regread.exe";
    return fs::is_regular_file(p, ec) ? p : fs::path();
}

}  // namespace machine
