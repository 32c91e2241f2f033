// Apply end to end on a machine made as the program makes it, with every box
// in a definite state and a new toolbar bitmap chosen, so that it makes
// twelve writes, each of them a change, in one batch made durable at its
// end. Against it, one bare durable SQLite commit (write-ahead log,
// synchronous FULL) on the same file system, in the same run. The same on a
// fresh Wine prefix, where the batch rewrites system.reg and user.reg once
// each, against one bare atomic durable rewrite of a file as large as its
// system.reg; and with a Wine server running in a prefix, where one Wine
// process imports the batch (against the same rewrite, for scale). Each
// call is timed on its own, so that the median and the
// 99th percentile can be told; the two take turns.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench_prefix.h"
#include "controls/classicstyle.h"
#include "files/atomic_file.h"
#include "hive/sqlite_hive.h"
#include "machine/machine.h"
#include "registry/catalogue_io.h"
#include "window/Form1.h"
#include "winreg/current_store.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path workDir() {
    static fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "knobwise-apply-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// Median and 99th percentile of each benchmark, in microseconds.
std::map<std::string, std::pair<double, double>>& figures() {
    static std::map<std::string, std::pair<double, double>> f;
    return f;
}

void record(benchmark::State& state, const std::string& name, const std::vector<double>& us) {
    const double med = percentile(us, 0.5);
    const double p99 = percentile(us, 0.99);
    state.counters[name + "_median_us"] = med;
    state.counters[name + "_p99_us"] = p99;
    figures()[name] = {med, p99};
}

// One row replaced in one durable commit, with the hive's settings.
class BareCommit {
  public:
    BareCommit() {
        sqlite3_open((workDir() / "bare.db").c_str(), &db_);
        sqlite3_exec(db_,
                     "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                     "CREATE TABLE IF NOT EXISTS t (k INTEGER PRIMARY KEY, v BLOB)",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO t VALUES (1, ?1)", -1, &statement_,
                           nullptr);
    }
    ~BareCommit() {
        sqlite3_finalize(statement_);
        sqlite3_close(db_);
    }
    BareCommit(const BareCommit&) = delete;
    BareCommit& operator=(const BareCommit&) = delete;

    bool run() {
        sqlite3_bind_int(statement_, 1, ++n_);
        const int rc = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        return rc == SQLITE_DONE;
    }

  private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    int n_ = 0;
};

// One bare atomic durable rewrite of a file of the prefix's size, beside
// its system.reg (on the same file system, without touching the file the
// program writes).
class BareRewrite {
  public:
    explicit BareRewrite(const fs::path& systemReg) : file_(systemReg.parent_path() / "bare.reg") {
        std::ifstream in(systemReg, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::ofstream(file_, std::ios::binary) << bytes_;
    }
    bool run() {
        try {
            struct stat after {};
            atomic_file::replace(file_, bytes_, &after);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

  private:
    fs::path file_;
    std::string bytes_;
};

// Apply and a bare write take turns, so that both meet the same
// state of the disk and of the machine's other work.
template <typename Bare>
void timeApply(benchmark::State& state, const std::string& name, Bare& bare) {
    Form1 form;
    form.Load();
    const char* tips[] = {"Shows the drives", "Computers nearby", "Files kept in step",
                          "The web",          "Your papers",      "Deleted files"};
    TextBox* boxes[] = {form.Text1, form.Text2, form.Text3, form.Text4, form.Text5, form.Text6};
    for (int i = 0; i < 6; ++i) boxes[i]->setText(QString::fromLatin1(tips[i]));
    for (CheckBox* box : {form.Check1, form.Check3, form.Check4, form.Check5, form.Check6})
        box->setValue(1);
    form.Image6->setTag(QStringLiteral("dirty"));
    form.CommonDialog1.setFileName(QStringLiteral("C:\\WINDOWS\\Toolbar.bmp"));

    // Every write must land, or this would time failures.
    form.savesettings();
    if (regvalue::text(catalogue::get(catalogue::BackBitmap)) != form.CommonDialog1.FileName() ||
        regvalue::text(catalogue::get(catalogue::InfoTip6)) != QLatin1String(tips[5])) {
        state.SkipWithError("savesettings did not write to the machine's registry");
        return;
    }

    std::vector<double> applyUs;
    std::vector<double> bareUs;
    int round = 0;
    for (auto _ : state) {
        // Every write a change: SQLite leaves a row rewritten with the same
        // bytes untouched, and would then commit nothing.
        state.PauseTiming();
        ++round;
        for (int i = 0; i < 6; ++i)
            boxes[i]->setText(QString::fromLatin1(tips[i]) + QString::number(round));
        for (CheckBox* box : {form.Check1, form.Check3, form.Check4, form.Check5})
            box->setValue(round & 1);
        form.CommonDialog1.setFileName(QStringLiteral("C:\\WINDOWS\\Toolbar%1.bmp").arg(round));
        state.ResumeTiming();

        auto start = Clock::now();
        form.Command1_Click();  // Apply: the twelve writes in one batch
        const std::chrono::duration<double, std::micro> apply = Clock::now() - start;
        state.SetIterationTime(apply.count() / 1e6);
        applyUs.push_back(apply.count());

        state.PauseTiming();
        start = Clock::now();
        if (!bare.run()) state.SkipWithError("the bare write failed");
        const std::chrono::duration<double, std::micro> write = Clock::now() - start;
        bareUs.push_back(write.count());
        state.ResumeTiming();
    }
    record(state, name, applyUs);
    record(state, name + "Bare", bareUs);
}

void apply(benchmark::State& state) {
    setenv("XDG_DATA_HOME", (workDir() / "data").c_str(), 1);
    const machine::Outcome made = machine::ensure();
    if (!made.error.empty()) {
        state.SkipWithError(made.error.c_str());
        return;
    }
    // As the program opens it: each Apply kept in the hive's history.
    regstore::selectHive(machine::hivePath());
    regstore::current()->keepHistory();
    BareCommit bare;
    timeApply(state, "hive", bare);
    regstore::selectHive("/nonexistent/none.db");
}

void applyOnPrefix(benchmark::State& state) {
    std::string why;
    const fs::path prefix = bench_prefix::make(workDir(), &why);
    if (prefix.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    machine::select(machine::Machine::winePrefix(prefix));
    BareRewrite bare(prefix / "system.reg");
    timeApply(state, "prefix", bare);
    machine::select(machine::Machine::embedded());
    regstore::selectHive("/nonexistent/none.db");
}

// With a Wine server running in the prefix: the batch imported by one Wine
// process of that server's build.
void applyWithWine(benchmark::State& state) {
    std::string why;
    const fs::path prefix = bench_prefix::make(workDir(), &why, "live");
    if (prefix.empty() || !bench_prefix::startWine(prefix, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    machine::select(machine::Machine::winePrefix(prefix, {}, bench_prefix::settingsKeys()));
    BareRewrite bare(prefix / "system.reg");
    timeApply(state, "wine", bare);
    machine::select(machine::Machine::embedded());
    regstore::selectHive("/nonexistent/none.db");
    bench_prefix::stopWine(prefix);
}

BENCHMARK(apply)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(applyOnPrefix)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);
BENCHMARK(applyWithWine)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A prefix's history goes beside the rest of the benchmark's files.
    setenv("XDG_STATE_HOME", (workDir() / "state").c_str(), 1);
    QApplication app(argc, argv);
    classic::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    const auto& f = figures();
    auto report = [&](const char* name, const char* what, const char* bareWhat, double target,
                      double limitMs) {
        if (!f.count(name)) return;
        const auto [applyMed, applyP99] = f.at(name);
        const auto [bareMed, bareP99] = f.at(std::string(name) + "Bare");
        std::printf("\n%-44s %9.0f us median, %9.0f us 99th percentile\n", what, applyMed,
                    applyP99);
        std::printf("%-44s %9.0f us median, %9.0f us 99th percentile\n", bareWhat, bareMed,
                    bareP99);
        const double ratio = applyMed / bareMed;
        if (target > 0)
            std::printf("%-44s %6.2f  (target <= %.1f: %s)\n", "ratio of the medians", ratio,
                        target, ratio <= target ? "met" : "MISSED");
        else
            std::printf("%-44s %6.2f\n", "ratio of the medians", ratio);
        std::printf("%-44s %6.2f ms (target < %.0f ms: %s)\n", "Apply median", applyMed / 1000,
                    limitMs, applyMed < limitMs * 1000 ? "met" : "MISSED");
    };
    report("hive", "Apply, hive (12 writes, one commit)", "bare durable commit", 3.0, 10);
    report("prefix", "Apply, Wine prefix (12 writes, one rewrite a file)",
           "bare atomic durable rewrite of system.reg", 3.0, 100);
    report("wine", "Apply, Wine running (12 writes, one reg import)",
           "bare atomic durable rewrite of system.reg", 0, 250);
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
