// The hive shared by several processes, and killed in the middle of writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "registry/Module2.h"
#include "registry/catalogue.h"
#include "support/temp_machine.h"

using testing_support::TempMachine;

namespace {

const char* kKey = "Software\\Shared";

// Runs `body` in a child process that exits when it returns.
template <typename F>
pid_t spawn(F body) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// The hive after a crash, seen by a reader that changes nothing (a writer's
// connection would move the log into the hive when it closes): its
// integrity and every value's data by name.
struct Inspection {
    std::string integrity;
    std::map<std::string, std::string> values;
};

Inspection inspect(const std::filesystem::path& file) {
    Inspection out{testing_support::integrityCheck(file), {}};
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, data FROM vals", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
        out.values[reinterpret_cast<const char*>(sqlite3_column_text(s, 0))] =
            std::string(static_cast<const char*>(sqlite3_column_blob(s, 1)),
                        static_cast<size_t>(sqlite3_column_bytes(s, 1)));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

TEST(HiveProcesses, TwoWritersAtOnceLoseNothing) {
    TempMachine machine(TempMachine::NoKeys);
    machine.createKey(std::string("HKCU\\") + kKey);
    machine.closeAdmin();
    constexpr int kWrites = 150;
    auto writer = [&](char tag) {
        return spawn([&, tag] {
            regstore::selectHive(machine.hivePath());  // a connection of its own
            for (int i = 0; i < kWrites; ++i) {
                Module2::setvalue(catalogue::HKCU, kKey, QString("%1%2").arg(tag).arg(i),
                                  QString::number(i), REG_SZ);
            }
        });
    };
    pid_t a = writer('a');
    pid_t b = writer('b');
    EXPECT_EQ(waitFor(a), 0);
    EXPECT_EQ(waitFor(b), 0);
    regstore::selectHive(machine.hivePath());
    for (char tag : {'a', 'b'}) {
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(Module2::getvalue(catalogue::HKCU, kKey, QString("%1%2").arg(tag).arg(i)),
                      RegValue(QString::number(i)))
                << tag << i;
        }
    }
}

TEST(HiveProcesses, WriterKilledAtRandomLeavesEveryValueOldOrNew) {
    TempMachine machine(TempMachine::NoKeys);
    regstore::KeyId key = machine.createKey(std::string("HKCU\\") + kKey);
    constexpr int kValues = 20;
    std::vector<std::string> held(kValues, "0");  // what each value holds now
    for (int i = 0; i < kValues; ++i)
        machine.admin().setValue(key, "v" + std::to_string(i), REG_SZ, held[i]);
    machine.closeAdmin();
    regstore::selectHive("/nonexistent/none.db");  // no open connection may cross a fork

    // Each point is cheap: the child is killed within its first few
    // durable writes, and the hive is looked at read-only, so nothing but
    // the child's writes reaches the disk. Nothing checkpoints the log but
    // the writers themselves, so some children die while they do.
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        // The child writes the round's number everywhere, value by value,
        // and tells through the pipe which values it has written (returned).
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::string next = std::to_string(round + 1);
        pid_t pid = spawn([&] {
            close(fds[0]);
            regstore::selectHive(machine.hivePath());
            for (int pass = 0; pass < 1000; ++pass) {
                for (int i = 0; i < kValues; ++i) {
                    Module2::setvalue(catalogue::HKCU, kKey, QString("v%1").arg(i),
                                      QString::fromStdString(next), REG_SZ);
                    if (pass == 0) {
                        char c = static_cast<char>(i);
                        (void)!write(fds[1], &c, 1);
                    }
                }
            }
        });
        close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
        kill(pid, SIGKILL);
        waitFor(pid);
        std::vector<bool> acknowledged(kValues, false);
        char c;
        while (read(fds[0], &c, 1) == 1) acknowledged[static_cast<size_t>(c)] = true;
        close(fds[0]);

        Inspection found = inspect(machine.hivePath());
        ASSERT_EQ(found.integrity, "ok") << "round " << round;
        for (int i = 0; i < kValues; ++i) {
            const std::string& text = found.values["v" + std::to_string(i)];
            if (acknowledged[static_cast<size_t>(i)]) {
                EXPECT_EQ(text, next) << "a returned write was lost, round " << round;
            } else {
                EXPECT_TRUE(text == held[i] || text == next)
                    << "value " << i << " is " << text << ", round " << round;
            }
            held[i] = text;
        }
    }
}

}  // namespace
