// Hostile machines: Form1 loaded against hives and folders that hold what no
// sane setting holds. Each time the window loads whatever it can, says what
// it must, reads nothing without bound, and loses nothing: loading changes
// no value, and Apply writes back exactly what it was given.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "hive/sqlite_hive.h"
#include "machine/machine.h"
#include "registry/catalogue_io.h"
#include "support/as_nobody.h"
#include "window_support.h"
#include "winreg/current_store.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

// Every value of every key of the catalogue, as the hive holds it.
std::map<std::string, std::pair<DWORD, std::string>> snapshot(
    testing_support::TempMachine& machine) {
    std::map<std::string, std::pair<DWORD, std::string>> all;
    for (const catalogue::Row& row : catalogue::kRows) {
        regstore::KeyId key = keyOf(machine, row);
        for (const regstore::Value& v : machine.admin().values(key)) {
            all[std::to_string(key) + "\\" + v.name] = {v.type, v.data};
        }
    }
    return all;
}

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HostileInput : public ::testing::Test, public WindowTest {
  protected:
    void storeBackBitmap(const std::string& windowsPath) {
        storeText(machine, catalogue::BackBitmap, windowsPath);
    }
    // The one message loading showed.
    QString onlyMessage() {
        EXPECT_EQ(seams->messages.size(), 1u);
        return seams->messages.empty() ? QString() : seams->messages.front().prompt;
    }
};

TEST_F(HostileInput, MegabyteInfoTipsLoadWholeAndApplyWritesThemBackUnchanged) {
    // A megabyte each, with code-page characters beyond ASCII among them.
    std::string tips[6];
    for (int row = 0; row < 6; ++row) {
        std::string& tip = tips[row];
        tip.reserve(1 << 20);
        for (int i = 0; tip.size() < (1u << 20); ++i) {
            tip += "Tip " + std::to_string(row) + " line " + std::to_string(i) + " caf\xE9 ";
        }
        tip.resize(1 << 20);
        storeText(machine, catalogue::kInfoTips[static_cast<size_t>(row)], tip);
    }
    const auto before = snapshot(machine);

    Form1& f = load();
    EXPECT_TRUE(seams->messages.empty());
    const auto boxes = {f.Text1, f.Text2, f.Text3, f.Text4, f.Text5, f.Text6};
    for (TextBox* box : boxes) EXPECT_EQ(box->Text().size(), 1 << 20);
    EXPECT_EQ(f.Text1->Text().left(9), "Tip 0 lin");
    EXPECT_EQ(f.Picture6->ToolTipText(), f.Text6->Text());
    EXPECT_EQ(snapshot(machine), before) << "loading changed the hive";

    f.savesettings();
    for (int row = 0; row < 6; ++row) {
        auto v = stored(machine, catalogue::kInfoTips[static_cast<size_t>(row)]);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
        EXPECT_TRUE(v->data == tips[row])
            << "row " << row + 1 << " came back " << v->data.size() << " bytes long";
    }
}

TEST_F(HostileInput, EveryValueOfTheWrongTypeLoadsAsNothingAndOnlyApplyChangesAnything) {
    // Types the rows never have, and a text where a number belongs.
    for (const catalogue::Row& row : catalogue::kInfoTips)
        store(machine, row, REG_BINARY, "\x01\x02\xFF");
    storeText(machine, catalogue::ShowInfoTip, "not a number");
    store(machine, catalogue::IsShortcutLnk, REG_DWORD, std::string("\x01\0\0\0", 4));
    store(machine, catalogue::NoFavoritesMenu, REG_SZ, "");
    store(machine, catalogue::NoRecentDocsHistory, REG_DWORD, "\x01");  // too short for a number
    store(machine, catalogue::BackBitmap, REG_EXPAND_SZ, "%WINDIR%\\Clouds.bmp");
    store(machine, catalogue::HeartsZB, REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    store(machine, catalogue::Startup, REG_BINARY, std::string(64, '\0'));
    store(machine, catalogue::DefaultUserName, REG_MULTI_SZ, std::string("alice\0\0", 7));
    store(machine, catalogue::DefaultPassword, 11 /* REG_QWORD */, std::string(8, '\x7F'));
    store(machine, catalogue::AutoAdminLogon, REG_NONE, "1");
    const auto before = snapshot(machine);

    Form1& f = load();
    EXPECT_TRUE(seams->messages.empty());
    for (TextBox* box : {f.Text1, f.Text2, f.Text3, f.Text4, f.Text5, f.Text6, f.Text7, f.Text8}) {
        EXPECT_EQ(box->Text(), "");
    }
    EXPECT_EQ(f.Check1->Value(), 0);
    EXPECT_EQ(f.Check2->Value(), 0);
    EXPECT_EQ(f.Check6->Value(), 0);
    EXPECT_TRUE(f.Image6->Picture().isNull());
    EXPECT_EQ(f.ExplorerList1->count(), 0);
    EXPECT_EQ(snapshot(machine), before) << "loading changed the hive";

    // Apply writes its rows (the boxes as loaded); the rows it never writes
    // keep their odd values.
    f.savesettings();
    EXPECT_EQ(stored(machine, catalogue::InfoTip3)->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored(machine, catalogue::InfoTip3)->data, "");
    for (const catalogue::Row* row :
         {&catalogue::IsShortcutLnk, &catalogue::NoFavoritesMenu, &catalogue::NoRecentDocsHistory,
          &catalogue::HeartsZB, &catalogue::Startup, &catalogue::DefaultUserName,
          &catalogue::DefaultPassword, &catalogue::AutoAdminLogon}) {
        SCOPED_TRACE(row->valueName);
        auto v = stored(machine, *row);
        ASSERT_TRUE(v);
        EXPECT_EQ(before.at(std::to_string(keyOf(machine, *row)) + "\\" + v->name),
                  std::make_pair(v->type, v->data));
    }
    // Check6 unchecked: Apply deletes the toolbar bitmap, of whatever type.
    EXPECT_FALSE(stored(machine, catalogue::BackBitmap));
}

TEST_F(HostileInput, BackBitmapThatIsAFolderADeviceOrAPipeIsReportedWithoutReadingIt) {
    const fs::path folder = machine::driveC() / "WINDOWS";
    fs::create_directories(folder);
    const fs::path pipe = machine::driveC() / "pipe.bmp";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* path;
        const char* said;
    } cases[] = {
        {"C:\\WINDOWS", "is a folder"},
        // Reading either would never end: the device has no end, and the pipe
        // has no writer.
        {"Z:\\dev\\zero", "is not a file"},
        {"C:\\pipe.bmp", "is not a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        seams->messages.clear();
        storeBackBitmap(c.path);
        Form1& f = load();
        const QString message = onlyMessage();
        EXPECT_TRUE(message.contains(QString::fromLatin1(c.path))) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromLatin1(c.said))) << message.toStdString();
        // The setting is in use, and stays so: Apply leaves it alone.
        EXPECT_EQ(f.Check6->Value(), 1);
        EXPECT_TRUE(f.Image6->Picture().isNull());
        f.savesettings();
        EXPECT_EQ(stored(machine, catalogue::BackBitmap)->data, c.path);
    }
}

// A picture file whose header claims 30,000 x 30,000 pixels at 24 bits and
// which is as long as such a picture is (2.7 GB, sparse), so that every byte
// a decoder would read is there.
fs::path hugePicture(const char* name, const std::string& header) {
    fs::create_directories(machine::driveC());
    const fs::path file = machine::driveC() / name;
    {
        std::ofstream out(file, std::ios::binary);
        out << header;
    }
    fs::resize_file(file, header.size() + std::uint64_t{30000} * 90000);
    return file;
}

std::string bitmapHeader() {
    std::string h(54, '\0');
    auto put = [&](size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    h[0] = 'B';
    h[1] = 'M';
    put(2, 54u + 30000u * 90000u, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, 30000, 4);
    put(22, 30000, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    return h;
}

TEST_F(HostileInput, PicturesClaimingThirtyThousandPixelsSquareAreRefusedWithoutAllocatingThem) {
    struct Case {
        const char* name;
        std::string header;
        const char* said;
    } cases[] = {
        // Qt's bitmap reader refuses such a header as no bitmap it knows.
        {"huge.bmp", bitmapHeader(), "Invalid picture"},
        // Its PPM reader tells the size; the limits refuse it.
        {"huge.ppm", "P6\n30000 30000\n255\n",
         "too large: \"C:\\huge.ppm\" (30000 x 30000 pixels)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seams->messages.clear();
        hugePicture(c.name, c.header);
        storeBackBitmap(std::string("C:\\") + c.name);

        const long before = peakResidentKb();
        Form1& f = load();
        const long grown = peakResidentKb() - before;
        const QString message = onlyMessage();
        EXPECT_TRUE(message.contains(QString::fromLatin1(c.name))) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromLatin1(c.said))) << message.toStdString();
        EXPECT_TRUE(f.Image6->Picture().isNull());
        EXPECT_EQ(f.Check6->Value(), 1);
        // Far less than the 3.6 GB the picture would take, or a tenth of it.
        EXPECT_LT(grown, 256 * 1024) << "peak memory grew by " << grown << " kB";
    }
}

TEST_F(HostileInput, StartupFolderOfTenThousandFilesWithNamesThatAreNotUtf8IsListedWhole) {
    const fs::path startup = machine::driveC() / "Startup";
    fs::create_directories(startup);
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Program %05d.lnk", i);
        std::ofstream(startup / name) << "x";
    }
    // Names in the code page of the machine they came from, and bytes that
    // are no text in any encoding.
    const std::string odd[] = {"Caf\xE9.lnk", "\xFF\xFE.lnk", "\xC3(.lnk"};
    for (const std::string& name : odd) std::ofstream(startup / name) << "x";
    fs::create_directory(startup / "A folder");
    storeText(machine, catalogue::Startup, "C:\\Startup");

    Form1& f = load();
    EXPECT_TRUE(seams->messages.empty());
    ASSERT_EQ(f.ExplorerList1->count(), 10003);
    const QStringList names = f.ExplorerList1->files();
    EXPECT_EQ(names.front(), "Café.lnk");
    EXPECT_TRUE(names.contains("Program 09999.lnk"));
    EXPECT_FALSE(names.contains("A folder"));
    // Every name shown is one of its own: none collapses into another.
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
    // Nothing in the folder was touched.
    EXPECT_EQ(std::distance(fs::directory_iterator(startup), fs::directory_iterator()), 10004);
}

TEST_F(HostileInput, ReadOnlyMachineFolderIsReportedAndNothingIsWritten) {
    storeText(machine, catalogue::InfoTip1, "Shows your drives");
    machine.closeAdmin();
    regstore::selectHive("/nonexistent/none.db");
    const fs::path folder = machine.hivePath().parent_path();
    if (::geteuid() == 0) {
        // The machine becomes nobody's, as it would be the user's own.
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(machine.root())) {
            ASSERT_EQ(::lchown(e.path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chown(machine.root().c_str(), 65534, 65534), 0);
    }
    // The hive itself stays writable by its mode; its folder is not.
    ::chmod(folder.c_str(), 0555);
    const std::string original = testing_support::readFile(machine.hivePath());

    testing_support::asNobody([&] {
        regstore::selectHive(machine.hivePath());
        EXPECT_EQ(regstore::state(), regstore::State::ReadOnly);
        EXPECT_NE(regstore::problem().find(machine.hivePath().string()), std::string::npos)
            << regstore::problem();
        // The program's own procedures ask for write rights too, and get nothing.
        catalogue::set(catalogue::InfoTip1, QStringLiteral("Changed"));
        catalogue::remove(catalogue::InfoTip1);
        EXPECT_TRUE(regvalue::isEmpty(catalogue::get(catalogue::InfoTip1)));
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, catalogue::InfoTip1.keyPath, 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        char data[64] = {};
        DWORD size = sizeof data;
        EXPECT_EQ(RegQueryValueExA(key, "InfoTip", nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                   &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::string(data, size), "Shows your drives");
        RegCloseKey(key);
        regstore::selectHive("/nonexistent/none.db");
    });
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(testing_support::readFile(machine.hivePath()), original);
    EXPECT_FALSE(fs::exists(machine.hivePath().string() + "-wal"));
    EXPECT_EQ(machine.value(std::string("HKCR\\") + catalogue::InfoTip1.keyPath, "InfoTip")->data,
              "Shows your drives");
}

}  // namespace
