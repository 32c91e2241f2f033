// Finding the Wine prefixes: prefixes::find() on a home of its own, made in
// a temporary directory, that holds 200 prefixes across the programs that
// keep them (Steam in two libraries, Lutris with its database, Bottles,
// Heroic, PlayOnLinux and ~/.wine), each with its configuration file as the
// program writes it. Target: a median under 20 ms.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "machine/prefixes.h"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

void prefix(const fs::path& dir) {
    write(dir / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n");
    write(dir / "user.reg",
          "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n");
}

// 79 + 1 + 40 + 30 + 30 + 20 = 200 prefixes.
void makeHome(const fs::path& home) {
    const fs::path steam = home / ".local/share/Steam", library = home / "Steam Library";
    write(steam / "steamapps/libraryfolders.vdf",
          "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() +
              "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library.string() + "\"\n\t}\n}\n");
    for (int i = 0; i < 79; ++i) {
        const fs::path apps = (i % 2 ? library : steam) / "steamapps";
        const std::string id = std::to_string(100000 + i);
        prefix(apps / "compatdata" / id / "pfx");
        write(apps / ("appmanifest_" + id + ".acf"), "\"AppState\"\n{\n\t\"appid\"\t\t\"" + id +
                                                         "\"\n\t\"name\"\t\t\"Game " + id +
                                                         "\"\n\t\"installdir\"\t\t\"Game\"\n}\n");
    }
    prefix(home / ".wine");

    sqlite3* db = nullptr;
    fs::create_directories(home / ".local/share/lutris");
    sqlite3_open((home / ".local/share/lutris/pga.db").c_str(), &db);
    std::string sql = "CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, configpath TEXT);";
    for (int i = 0; i < 40; ++i) {
        const std::string stem = "game-" + std::to_string(i) + "-1700000000";
        write(home / ".local/share/lutris/games" / (stem + ".yml"),
              "game:\n  exe: drive_c/game.exe\n  prefix: " +
                  (home / "Games/lutris" / std::to_string(i)).string() +
                  "\nsystem: {}\nwine:\n  version: lutris-GE-Proton8-26-x86_64\n");
        prefix(home / "Games/lutris" / std::to_string(i));
        sql += "INSERT INTO games (name, configpath) VALUES ('Lutris game " + std::to_string(i) +
               "', '" + stem + "');";
    }
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);

    for (int i = 0; i < 30; ++i) {
        const fs::path bottle =
            home / ".local/share/bottles/bottles" / ("Bottle" + std::to_string(i));
        prefix(bottle);
        write(bottle / "bottle.yml", "Arch: win64\nName: Bottle " + std::to_string(i) +
                                         "\nPath: Bottle" + std::to_string(i) + "\nRunner: soda\n");
        const fs::path heroic =
            home / "Games/Heroic/Prefixes/default" / ("Game" + std::to_string(i));
        prefix(heroic);
        write(home / ".config/heroic/GamesConfig" / ("app" + std::to_string(i) + ".json"),
              "{\"app" + std::to_string(i) + "\": {\"winePrefix\": \"" + heroic.string() +
                  "\", \"wineVersion\": {\"bin\": \"/usr/bin/wine\", \"type\": \"wine\"}}, "
                  "\"version\": \"v0\"}");
    }
    for (int i = 0; i < 20; ++i)
        prefix(home / ".PlayOnLinux/wineprefix" / ("App" + std::to_string(i)));
}

void findPrefixes(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state) {
        found = prefixes::find().size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["prefixes"] = static_cast<double>(found);
}
BENCHMARK(findPrefixes)->Unit(benchmark::kMillisecond);

class Median : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.aggregate_name == "median") ms = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double ms = -1;
};

}  // namespace

int main(int argc, char** argv) {
    char dirTemplate[] = "/tmp/knobwise-prefixes-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const fs::path home = dirTemplate;
    makeHome(home);
    setenv("HOME", home.c_str(), 1);
    unsetenv("WINEPREFIX");

    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=15";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (argc == 1) args.insert(args.end(), {repetitions, aggregates});
    argc = static_cast<int>(args.size());
    benchmark::Initialize(&argc, args.data());
    Median reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.ms >= 0)
        std::printf("\nfinding 200 prefixes, median %.2f ms  (target < 20 ms: %s)\n", reporter.ms,
                    reporter.ms < 20 ? "met" : "MISSED");
    std::error_code ec;
    fs::remove_all(home, ec);
    return 0;
}
