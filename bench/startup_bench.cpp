// Start-up: the time from starting the program to its window's first frame,
// and its peak resident memory, on a fresh machine, on one whose hive holds
// 200,000 more keys and on a fresh Wine prefix (knobwise --wine-prefix),
// against a bare Qt Widgets window with as many widgets (floor_window)
// started the same way in the same run, and the same bare window using the
// fonts the main window shows. Each program runs with
// KNOBWISE_EXIT_AFTER_FIRST_FRAME=1, prints the moment of its first frame
// and exits; peak memory comes from wait4.
//
//     startup_bench [--runs N] [--display offscreen|xvfb|both] [--steps]
//
// With --steps it also prints where the floor's, the fresh machine's and
// the Wine prefix's starts went, step by step, as the programs mark their
// phases.
//
// Runs go in rounds, each program once a round in an order shuffled anew
// each round, so that the machine's drift falls on all of them alike; the
// first round of each display warms the caches and is not counted.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_prefix.h"
#include "hive/sqlite_hive.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kExtraKeys = 200000;

long long nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "startup_bench: %s\n", why.c_str());
    std::exit(1);
}

// The environment of this process with some variables replaced or added.
std::vector<std::string> environment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name)) out.push_back(entry);
    }
    for (const auto& [name, value] : changes) out.push_back(name + "=" + value);
    return out;
}

struct Child {
    pid_t pid = -1;
    int output = -1;  // read end of its standard output
};

Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) die("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    Child child;
    int rc = posix_spawn(&child.pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) die("cannot start " + argv[0] + ": " + std::strerror(rc));
    child.output = out[0];
    return child;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// A phase of start-up as the program marks it: its name and how long it
// took since the mark before it (the first one since the process started).
struct Step {
    std::string name;
    double ms = 0;
};

struct Sample {
    double ms = 0;     // start to first frame
    double rssMb = 0;  // peak resident memory
    long long widgets = 0;
    std::vector<Step> steps;  // the marked phases, then "frame" up to the first frame
};

// The phase lines after the first-frame line, as steps from `start`.
std::vector<Step> steps(const std::string& output, long long start, long long frame) {
    std::vector<Step> out;
    long long before = start;
    size_t at = output.find('\n');
    while (at != std::string::npos && at + 1 < output.size()) {
        const size_t end = output.find('\n', at + 1);
        const std::string line =
            output.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        at = end;
        char name[64];
        long long ns = 0;
        if (std::sscanf(line.c_str(), "phase %63s %lld", name, &ns) != 2) continue;
        out.push_back({name, static_cast<double>(ns - before) / 1e6});
        before = ns;
    }
    if (!out.empty()) out.push_back({"frame", static_cast<double>(frame - before) / 1e6});
    return out;
}

// Starts a program that reports its first frame, and waits for it to end.
Sample timeOne(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const long long start = nowNs();
    Child child = spawn(argv, env);
    const std::string output = readAll(child.output);
    int status = 0;
    rusage usage{};
    if (wait4(child.pid, &status, 0, &usage) < 0) die("wait4 failed");
    long long frame = 0;
    long long widgets = 0;
    if (std::sscanf(output.c_str(), "first-frame-ns %lld widgets %lld", &frame, &widgets) != 2 ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        die(argv[0] + " did not report its first frame (status " + std::to_string(status) +
            "): " + output);
    }
    return {static_cast<double>(frame - start) / 1e6, static_cast<double>(usage.ru_maxrss) / 1024.0,
            widgets, steps(output, start, frame)};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A virtual X server for the runs under X; stopped when this ends.
class Xvfb {
  public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) die("pipe failed");
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", fd,   "-screen", "0",
                                         "1024x768x24",   "-nolisten",  "tcp"};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) die(std::string("cannot start Xvfb: ") + std::strerror(rc));
        std::string number = readAll(fds[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
            number.pop_back();
        if (number.empty()) die("Xvfb did not tell its display");
        display_ = ":" + number;
    }
    ~Xvfb() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Program {
    const char* name;
    std::vector<std::string> argv;
    std::string machine;  // XDG_DATA_HOME
};

void addKeys(const fs::path& hiveFile) {
    std::unique_ptr<regstore::SqliteHive> hv = regstore::SqliteHive::open(hiveFile);
    hv->begin();
    regstore::KeyId bulk = hv->createKey(regstore::Root::CurrentUser, "Software\\Bulk");
    for (int i = 0; i < kExtraKeys; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Group%03d\\Key%06d", i % 500, i);
        hv->setValue(hv->createKey(bulk, key), "Data", REG_SZ, "some text of a typical length");
    }
    hv->commit();
}

struct Results {
    std::map<std::string, std::vector<double>> ms, rss;
    std::map<std::string, long long> widgets;
    // Each program's steps, in the order first seen, with their durations.
    std::map<std::string, std::vector<std::pair<std::string, std::vector<double>>>> steps;
};

void addSteps(std::vector<std::pair<std::string, std::vector<double>>>& into,
              const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        auto it = std::find_if(into.begin(), into.end(),
                               [&](const auto& known) { return known.first == step.name; });
        if (it == into.end()) it = into.insert(into.end(), {step.name, {}});
        it->second.push_back(step.ms);
    }
}

Results measure(const std::vector<Program>& programs,
                const std::map<std::string, std::string>& display, int runs) {
    Results r;
    // Each round in an order of its own, the same in every run: a program
    // started right after the same binary finds its code warm in the
    // processor's caches, so none may always follow the same one.
    std::vector<size_t> order(programs.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::mt19937 shuffler(1);
    for (int round = 0; round <= runs; ++round) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (size_t i : order) {
            const Program& p = programs[i];
            std::map<std::string, std::string> env = display;
            env["XDG_DATA_HOME"] = p.machine;
            env["KNOBWISE_EXIT_AFTER_FIRST_FRAME"] = "1";
            Sample s = timeOne(p.argv, environment(env));
            if (round == 0) continue;  // warming up
            r.ms[p.name].push_back(s.ms);
            r.rss[p.name].push_back(s.rssMb);
            r.widgets[p.name] = s.widgets;
            addSteps(r.steps[p.name], s.steps);
        }
    }
    return r;
}

bool report(const char* title, const Results& r) {
    auto ms = [&](const char* n) { return median(r.ms.at(n)); };
    auto rss = [&](const char* n) { return median(r.rss.at(n)); };
    std::printf("\n%s (%zu runs each, medians)\n", title, r.ms.at("floor").size());
    std::printf("  %-28s %10s %10s %8s\n", "", "first ms", "peak MB", "widgets");
    const bool prefix = r.ms.count("prefix") != 0;
    for (const char* n : {"floor", "fonts", "fresh", "large", "prefix", "wine"}) {
        if (!r.ms.count(n)) continue;
        const char* label = std::strcmp(n, "floor") == 0    ? "bare Qt window (floor)"
                            : std::strcmp(n, "fonts") == 0  ? "  the same, window's fonts"
                            : std::strcmp(n, "fresh") == 0  ? "knobwise, fresh machine"
                            : std::strcmp(n, "large") == 0  ? "knobwise, +200,000 keys"
                            : std::strcmp(n, "prefix") == 0 ? "knobwise, fresh Wine prefix"
                                                            : "  the same, Wine running";
        std::printf("  %-28s %10.1f %10.1f %8lld\n", label, ms(n), rss(n), r.widgets.at(n));
    }
    // Each ratio twice: of the medians of the whole runs, and the median of
    // the ratios within each round. The second cancels most of the
    // machine's drift (both programs of a round meet the same machine) and
    // is the one the targets count.
    std::printf("  %-40s %8s %9s\n", "", "medians", "per round");
    bool met = true;
    auto ratio = [&](const char* label, const std::map<std::string, std::vector<double>>& series,
                     const char* a, const char* b, double target) {
        const double whole = median(series.at(a)) / median(series.at(b));
        const std::vector<double>& as = series.at(a);
        const std::vector<double>& bs = series.at(b);
        std::vector<double> rounds;
        for (size_t i = 0; i < std::min(as.size(), bs.size()); ++i) rounds.push_back(as[i] / bs[i]);
        const double value = median(rounds);
        const bool ok = target <= 0 || value <= target;
        met = met && ok;
        if (target > 0) {
            std::printf("  %-40s %8.2f %9.2f  (target <= %.1f: %s)\n", label, whole, value, target,
                        ok ? "met" : "MISSED");
        } else {
            std::printf("  %-40s %8.2f %9.2f\n", label, whole, value);
        }
    };
    ratio("start-up fresh / floor", r.ms, "fresh", "floor", 1.3);
    ratio("start-up large / fresh", r.ms, "large", "fresh", 1.1);
    ratio("start-up fresh / floor with its fonts", r.ms, "fresh", "fonts", 0);
    ratio("peak memory fresh / floor", r.rss, "fresh", "floor", 0);
    ratio("peak memory large / fresh", r.rss, "large", "fresh", 0);
    if (prefix) {
        ratio("start-up Wine prefix / fresh machine", r.ms, "prefix", "fresh", 1.2);
        ratio("peak memory Wine prefix / fresh machine", r.rss, "prefix", "fresh", 1.3);
    }
    if (r.ms.count("wine")) {
        // The settings read from the running Wine by one Wine process.
        ratio("start-up Wine running / Wine prefix", r.ms, "wine", "prefix beside wine", 0);
        const bool ok = ms("wine") < 400;
        met = met && ok;
        std::printf("  %-40s %6.1f ms (target < 400 ms: %s)\n", "first frame, Wine running",
                    ms("wine"), ok ? "met" : "MISSED");
    }
    return met;
}

// Where each start went: the median of each marked step (the medians need
// not add up to the median of the whole).
void account(const Results& r) {
    for (const char* n : {"floor", "fresh", "prefix"}) {
        if (!r.steps.count(n) || r.steps.at(n).empty()) continue;
        std::printf("\n  steps of %s (medians, ms)\n", n);
        double sum = 0;
        for (const auto& [name, values] : r.steps.at(n)) {
            const double m = median(values);
            sum += m;
            std::printf("    %-28s %8.2f %8.2f\n", name.c_str(), m, sum);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    std::string which = "both";
    bool steps = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--display" && i + 1 < argc) {
            which = argv[++i];
        } else if (a == "--steps") {
            steps = true;
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--display offscreen|xvfb|both] [--steps]\n",
                         argv[0]);
            return 2;
        }
    }

    std::string pattern = (fs::temp_directory_path() / "knobwise-startup-XXXXXX").string();
    if (!mkdtemp(pattern.data())) die("mkdtemp failed");
    const fs::path work = pattern;
    const std::string fresh = (work / "fresh").string();
    const std::string large = (work / "large").string();

    // Both machines made by the program itself; the large one then grows.
    const std::map<std::string, std::string> offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};
    for (const std::string& machine : {fresh, large}) {
        std::map<std::string, std::string> env = offscreen;
        env["XDG_DATA_HOME"] = machine;
        env["KNOBWISE_EXIT_AFTER_FIRST_FRAME"] = "1";
        timeOne({KNOBWISE_EXE}, environment(env));
    }
    addKeys(fs::path(large) / "knobwise" / "registry.db");

    // The floor gets as many widgets as the main window has.
    std::map<std::string, std::string> env = offscreen;
    env["XDG_DATA_HOME"] = fresh;
    env["KNOBWISE_EXIT_AFTER_FIRST_FRAME"] = "1";
    const long long widgets = timeOne({KNOBWISE_EXE}, environment(env)).widgets;
    std::vector<Program> programs = {
        {"floor", {FLOOR_EXE, std::to_string(widgets)}, fresh},
        {"fonts", {FLOOR_EXE, std::to_string(widgets), "fonts"}, fresh},
        {"fresh", {KNOBWISE_EXE}, fresh},
        {"large", {KNOBWISE_EXE}, large},
    };
    std::string why;
    const fs::path prefix = bench_prefix::make(work, &why);
    if (prefix.empty()) {
        std::printf("Not measured on a Wine prefix: %s\n", why.c_str());
    } else {
        programs.push_back({"prefix", {KNOBWISE_EXE, "--wine-prefix", prefix.string()}, fresh});
    }
    // Another copy of it, timed with a Wine server running there, in rounds
    // of its own beside the prefix without one: the server is started for
    // those rounds only, so that it and Wine's services stay out of the
    // other starts.
    const fs::path live = prefix.empty() ? fs::path() : bench_prefix::make(work, &why, "live");
    if (!prefix.empty() && live.empty())
        std::printf("Not measured with Wine running: %s\n", why.c_str());
    const Program wine = {"wine", {KNOBWISE_EXE, "--wine-prefix", live.string()}, fresh};
    auto measureAll = [&](const std::map<std::string, std::string>& display) {
        Results r = measure(programs, display, runs);
        if (live.empty()) return r;
        if (!bench_prefix::startWine(live, &why)) {
            std::printf("Not measured with Wine running: %s\n", why.c_str());
            return r;
        }
        Results w = measure({programs.back(), wine}, display, runs);
        bench_prefix::stopWine(live);
        r.ms["wine"] = w.ms.at("wine");
        r.rss["wine"] = w.rss.at("wine");
        r.widgets["wine"] = w.widgets.at("wine");
        r.ms["prefix beside wine"] = w.ms.at("prefix");
        return r;
    };

    bool met = true;
    if (which == "offscreen" || which == "both") {
        const Results r = measureAll(offscreen);
        met = report("Offscreen", r) && met;
        if (steps) account(r);
    }
    if (which == "xvfb" || which == "both") {
        Xvfb x;
        const Results r = measureAll({{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", x.display()}});
        met = report(("Xvfb " + x.display()).c_str(), r) && met;
        if (steps) account(r);
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    std::printf("\n%s\n", met ? "All start-up targets met." : "Some start-up targets MISSED.");
    return 0;
}
