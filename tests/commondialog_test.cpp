// The file-open dialog: what the user is shown, and FileName across uses.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QThread>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "controls/commondialog.h"
#include "machine/drives.h"
#include "machine/machine.h"
#include "support/qt_app.h"
#include "support/qt_print.h"
#include "support/temp_machine.h"
#include "winreg/current_store.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempMachine;

class CommonDialogTest : public ::testing::Test {
  protected:
    CommonDialogTest() {
        testing_support::ensureQtApp();
        c_ = machine::driveC();
        testing_support::writeFile(c_ / "WINDOWS" / "Clouds.bmp", "BM");
        testing_support::writeFile(c_ / "WINDOWS" / "Tiles.bmp", "BM");
    }
    ~CommonDialogTest() override { CommonDialog::setChooser({}); }

    QString host(const char* rel) { return QString::fromStdString((c_ / rel).string()); }

    TempMachine machine_{TempMachine::NoKeys};
    fs::path c_;
};

TEST_F(CommonDialogTest, FileNameIsKeptAcrossACancel) {
    CommonDialog dialog;
    dialog.setFilter("Compatable Backgrounds|*.bmp");

    std::optional<QString> answer;  // what the user does next
    QString seenDescription, seenPattern;
    CommonDialog::setChooser([&](const QString& description, const QString& pattern) {
        seenDescription = description;
        seenPattern = pattern;
        return answer;
    });

    dialog.ShowOpen();  // cancelled before any choice
    EXPECT_EQ(dialog.FileName(), "");
    EXPECT_EQ(seenDescription, "Compatable Backgrounds");
    EXPECT_EQ(seenPattern, "*.bmp");

    answer = host("WINDOWS/Clouds.bmp");
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "C:\\WINDOWS\\Clouds.bmp");

    answer.reset();
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "C:\\WINDOWS\\Clouds.bmp");

    answer = "/tmp";
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "Z:\\tmp");  // outside drive C
}

// Runs `inspect` on the file dialog once it is up, from inside its event loop.
void whenDialogShows(std::function<void(QFileDialog*)> inspect, bool* seen) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, inspect, seen] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *seen = true;
            inspect(dialog);
        }
    });
    timer->start(10);
}

TEST_F(CommonDialogTest, TheRealDialogShowsTheFilterAndACancelChangesNothing) {
    CommonDialog dialog;
    dialog.setFilter("Compatable Backgrounds|*.bmp");
    dialog.setFileName("C:\\WINDOWS\\Tiles.bmp");
    QStringList filters;
    bool hidesPatterns = false, native = true, existingOnly = false;
    QString startDir;
    bool seen = false;
    whenDialogShows(
        [&](QFileDialog* d) {
            filters = d->nameFilters();
            hidesPatterns = d->testOption(QFileDialog::HideNameFilterDetails);
            native = !d->testOption(QFileDialog::DontUseNativeDialog);
            existingOnly = d->fileMode() == QFileDialog::ExistingFile;
            startDir = d->directory().absolutePath();
            d->reject();
        },
        &seen);
    dialog.ShowOpen();
    ASSERT_TRUE(seen);
    EXPECT_EQ(filters, QStringList({"Compatable Backgrounds (*.bmp)"}));
    EXPECT_TRUE(hidesPatterns);  // the user reads the description as it stands
    EXPECT_FALSE(native);
    EXPECT_TRUE(existingOnly);
    EXPECT_EQ(startDir, host("WINDOWS"));
    EXPECT_EQ(dialog.FileName(), "C:\\WINDOWS\\Tiles.bmp");
}

TEST_F(CommonDialogTest, TheRealDialogReturnsTheChosenFileAsAWindowsPath) {
    CommonDialog dialog;
    dialog.setFilter("Pictures|*.bmp;*.dib|All files|*.*");
    QStringList filters;
    bool seen = false;
    whenDialogShows(
        [&](QFileDialog* d) {
            filters = d->nameFilters();
            // Typed into the name box, as a user may do, and opened.
            if (auto* name = d->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(host("WINDOWS/Clouds.bmp"));
            if (d->selectedFiles().isEmpty()) {
                d->reject();  // fails below rather than waiting on a message
            } else {
                static_cast<QDialog*>(d)->accept();  // as the Open button does
            }
        },
        &seen);
    dialog.ShowOpen();
    ASSERT_TRUE(seen);
    EXPECT_EQ(filters, QStringList({"Pictures (*.bmp *.dib)", "All files (*.*)"}));
    EXPECT_EQ(dialog.FileName(), "C:\\WINDOWS\\Clouds.bmp");
}

// Listing the folder that holds the hive must not end the locks this
// process holds on it (a file opened and closed here drops them all), or
// another program would take the hive's log from under this one.
TEST_F(CommonDialogTest, ListingTheHivesFolderKeepsItsLocks) {
    // The files ("dev:inode") this process holds a lock on. SQLite takes
    // and leaves locks of its own as it reads; a file that has none left
    // lost them all.
    auto lockedFiles = [] {
        std::ifstream in("/proc/locks");
        const std::string mine = std::to_string(::getpid());
        std::set<std::string> files;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string id, kind, advisory, mode, pid, file;
            fields >> id >> kind;
            if (kind == "->") continue;  // a lock waited for, not held
            fields >> advisory >> mode >> pid >> file;
            if (pid == mine) files.insert(file);
        }
        return files;
    };
    ASSERT_TRUE(regstore::current() && regstore::current()->root(regstore::Root::CurrentUser));
    const std::set<std::string> before = lockedFiles();
    ASSERT_FALSE(before.empty());
    CommonDialog dialog;
    dialog.setFilter("Compatable Backgrounds|*.bmp");
    dialog.setFileName(QString::fromStdString(drives::toWindows(machine::hivePath())));
    bool seen = false;
    whenDialogShows(
        [&](QFileDialog* d) {
            // Until the folder is listed and its files' icons looked up (on
            // the model's own thread).
            auto* model = d->findChild<QFileSystemModel*>();
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 2000 &&
                   !(model && model->rowCount(model->index(d->directory().absolutePath())) > 0))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(300);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
            d->reject();
        },
        &seen);
    dialog.ShowOpen();
    ASSERT_TRUE(seen);
    EXPECT_EQ(lockedFiles(), before);
}

}  // namespace
