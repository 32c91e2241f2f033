// getvalue and setvalue on a small hive and on one with 200,000 keys, against
// one bare durable SQLite commit as the floor. Prints the ratios at the end.
// Then .reg import of files of junk lines (16 and 64 MiB): time and peak
// memory against the file's size.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dotreg/dotreg.h"
#include "hive/sqlite_hive.h"
#include "registry/Module2.h"
#include "registry/catalogue.h"
#include "winreg/current_store.h"

namespace {

namespace fs = std::filesystem;

fs::path workDir() {
    static fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "knobwise-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

// A hive with the catalogue's keys and `extra` more keys, each with a value.
fs::path makeHive(const char* name, int extra) {
    fs::path file = workDir() / name;
    if (fs::exists(file)) return file;
    auto hv = regstore::SqliteHive::create(file);
    hv->begin();
    for (const catalogue::Row& row : catalogue::kRows)
        hv->createKey(regstore::rootOf(row.root), row.keyPath);
    regstore::KeyId bulk = hv->createKey(regstore::Root::CurrentUser, "Software\\Bulk");
    for (int i = 0; i < extra; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Group%03d\\Key%06d", i % 500, i);
        regstore::KeyId k = hv->createKey(bulk, key);
        hv->setValue(k, "Data", REG_SZ, "some text of a typical length");
    }
    hv->commit();
    return file;
}

const catalogue::Row& row = catalogue::ShowInfoTip;

void getvalue(benchmark::State& state, const char* name, int extra) {
    regstore::selectHive(makeHive(name, extra));
    Module2::setvalue(row.root, row.keyPath, row.valueName, QString("1"), row.type);
    for (auto _ : state)
        benchmark::DoNotOptimize(Module2::getvalue(row.root, row.keyPath, row.valueName));
}

void setvalue(benchmark::State& state, const char* name, int extra) {
    regstore::selectHive(makeHive(name, extra));
    int i = 0;
    for (auto _ : state)
        Module2::setvalue(row.root, row.keyPath, row.valueName, QString::number(++i & 1), row.type);
}

// The floor: one row replaced in one durable commit, with the hive's settings
// (write-ahead log, synchronous FULL).
void bareCommit(benchmark::State& state) {
    fs::path file = workDir() / "bare.db";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                 "CREATE TABLE IF NOT EXISTS t (k INTEGER PRIMARY KEY, v BLOB)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO t VALUES (1, ?1)", -1, &s, nullptr);
    int i = 0;
    for (auto _ : state) {
        sqlite3_bind_int(s, 1, ++i);
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
}

constexpr int kLarge = 200000;

BENCHMARK_CAPTURE(getvalue, small, "small.db", 0);
BENCHMARK_CAPTURE(getvalue, large, "large.db", kLarge);
BENCHMARK_CAPTURE(setvalue, small, "small.db", 0);
BENCHMARK_CAPTURE(setvalue, large, "large.db", kLarge);
BENCHMARK(bareCommit);

// One import as knobreg imports a file from anywhere (as reg.exe: lines it
// skips are warned of), into a fresh hive, in a child process of its own, so
// that its peak resident memory (from wait4) is the import's: seconds and
// peak KB.
std::pair<double, long> importInChild(const fs::path& file) {
    const fs::path hive = workDir() / "import.db";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(hive.string() + suffix);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            dotreg::importFile(*regstore::SqliteHive::create(hive), file,
                               dotreg::Reading::AsRegExe);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "import failed: %s\n", e.what());
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {seconds, -1};
    return {seconds, usage.ru_maxrss};
}

// Files of 16 and 64 MiB of lines, of junk as the issue of unbounded
// imports measured them (no line imported), and of values, for what a real
// import costs: a time that grows as the file does, and a peak memory that
// stays a small multiple of it.
void importFigures() {
    const fs::path file = workDir() / "junk.reg";
    struct Kind {
        const char* name;
        const char* head;
        std::function<std::string(std::size_t)> line;
    };
    const Kind kinds[] = {
        {"lines \"x\"", "REGEDIT4\n", [](std::size_t) { return std::string("x\n"); }},
        {"blank lines", "REGEDIT4\n", [](std::size_t) { return std::string("\n"); }},
        {"values that cannot be read", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Junk]\n",
         [](std::size_t) { return std::string("\"a\"=bogus\n"); }},
        {"values (one key)", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Bulk]\n",
         [](std::size_t i) { return "\"v" + std::to_string(i) + "\"=\"x\"\n"; }},
    };
    std::ofstream(workDir() / "empty.reg") << "REGEDIT4\n";
    const long floorKb = importInChild(workDir() / "empty.reg").second;
    std::printf("\n.reg import (peak memory of a process that imports an empty file: %.0f MB)\n",
                floorKb / 1024.0);
    for (const Kind& k : kinds) {
        for (const std::size_t size : {std::size_t{16} << 20, std::size_t{64} << 20}) {
            {
                std::ofstream out(file, std::ios::binary);
                std::string text = k.head;
                for (std::size_t i = 0; text.size() < size; ++i) text += k.line(i);
                text.resize(size);
                text.back() = '\n';
                out << text;
            }
            const auto [seconds, peakKb] = importInChild(file);
            std::printf("  %-28s %2zu MiB %6.2f s  %6.1f MiB/s  peak %5.0f MB  %4.2f x the file\n",
                        k.name, size >> 20, seconds, static_cast<double>(size >> 20) / seconds,
                        peakKb / 1024.0, peakKb * 1024.0 / static_cast<double>(size));
            fs::remove(file);
        }
    }
}

class Collect : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions, the ratios use the medians.
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration) {
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
            } else if (r.aggregate_name == "median") {
                times[r.run_name.str()] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    // By default the repetitions of all benchmarks take turns in a random
    // order, so that a busy disk or CPU weighs on both sides of each ratio.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char minTime[] = "--benchmark_min_time=0.2";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (argc == 1) args.insert(args.end(), {repetitions, interleave, minTime, aggregates});
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto t = [&](const char* n) { return reporter.times.count(n) ? reporter.times[n] : 0.0; };
    auto ratio = [&](const char* label, const char* a, const char* b, double target) {
        if (t(a) > 0 && t(b) > 0) {
            double r = t(a) / t(b);
            std::printf("%-40s %6.2f  (target <= %.1f: %s)\n", label, r, target,
                        r <= target ? "met" : "MISSED");
        }
    };
    std::printf("\n");
    ratio("getvalue large/small", "getvalue/large", "getvalue/small", 1.5);
    ratio("setvalue large/small", "setvalue/large", "setvalue/small", 1.5);
    ratio("setvalue small / bare commit", "setvalue/small", "bareCommit", 2.0);
    ratio("setvalue large / bare commit", "setvalue/large", "bareCommit", 2.0);
    importFigures();
    regstore::selectHive("/nonexistent/none.db");
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
