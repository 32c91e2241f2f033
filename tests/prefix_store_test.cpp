// A Wine prefix's registry files as the store: what a change rewrites and
// what it leaves, the A functions' text, damaged files, other writers,
// links and modes, changes through a running Wine or refused while one runs
// that cannot be used, and changes to files the user may not write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dotreg/dotreg.h"
#include "files/atomic_file.h"
#include "machine/machine.h"
#include "registry/Module2.h"
#include "support/as_nobody.h"
#include "support/temp_machine.h"
#include "text/utf16.h"
#include "wineprefix/prefix_store.h"
#include "winreg/current_store.h"
#include "winreg/failed_writes.h"

using namespace std::string_literals;
using testing_support::makeTempDir;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t HKCR = 0x80000000u;
constexpr std::uint32_t HKCU = 0x80000001u;

const std::string kSystem =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{A}] 1700000000\n"
    "#time=1d9e1234567890a\n"
    "#class=\"kept\"\n"
    "@=\"First\"\n"
    "\"InfoTip\"=\"Old tip\"\n"
    "\"Zeta\"=dword:00000001\n"
    "\n"
    "[Software\\\\Classes\\\\lnkfile] 1700000001\n"
    "#time=1d9e1234567890b\n"
    ";; a comment of our own\n"
    "\"IsShortcut\"=\"yes\"\n"
    "\n"
    "[Software\\\\Classes\\\\Wow6432Node\\\\Link] 1700000002\n"
    "#time=1d9e1234567890c\n"
    "#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,41,00\n";
const std::string kUser =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Wine] 1700000000\n"
    "#time=1d9e1234567890a\n"
    "\"Version\"=\"win10\"\n";

// A throw-away prefix selected as the machine while it lives.
class TempPrefix {
  public:
    TempPrefix(const std::string& system = kSystem, const std::string& user = kUser)
        : dir_(makeTempDir("knobwise-prefix-")) {
        writeFile(dir_ / "system.reg", system);
        writeFile(dir_ / "user.reg", user);
        machine::select(machine::Machine::winePrefix(dir_));
        failed_writes::take();
    }
    ~TempPrefix() {
        machine::select(machine::Machine::embedded());
        regstore::selectHive("/nonexistent/knobwise-prefix-test.db");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }
    std::string system() const { return readFile(dir_ / "system.reg"); }
    std::string user() const { return readFile(dir_ / "user.reg"); }

  private:
    fs::path dir_;
};

// The sections of a file's text, each from its key line on.
std::vector<std::string> sections(const std::string& text) {
    std::vector<std::string> out;
    size_t at = text.find("\n[");
    out.push_back(text.substr(0, at + 1));
    while (at != std::string::npos) {
        size_t next = text.find("\n[", at + 1);
        out.push_back(text.substr(at + 1, next == std::string::npos ? next : next - at));
        at = next;
    }
    return out;
}

// A section with its two timestamps blanked.
std::string timeless(const std::string& section) {
    std::string out;
    size_t at = 0;
    while (at < section.size()) {
        size_t end = section.find('\n', at);
        std::string line = section.substr(at, end == std::string::npos ? end : end - at + 1);
        if (line.starts_with("#time=")) line = "#time=T\n";
        if (size_t close = line.rfind("] "); line.starts_with("[") && close != std::string::npos)
            line = line.substr(0, close) + "] T\n";
        out += line;
        at = end == std::string::npos ? section.size() : end + 1;
    }
    return out;
}

TEST(PrefixStore, AChangeRewritesOnlyItsKey) {
    TempPrefix prefix;
    Module2::setvalue(HKCR, "CLSID\\{a}", "INFOTIP", QStringLiteral("New tip"), 1);
    Module2::setvalue(HKCR, "CLSID\\{a}", "Beta", QStringLiteral("b"), 1);
    Module2::deletevalue(HKCR, "lnkfile", "IsShortcut");
    const std::vector<std::string> before = sections(kSystem), after = sections(prefix.system());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0], before[0]);  // the header
    EXPECT_EQ(after[3], before[3]);  // the key not touched, its #link and all
    // The changed keys: fresh times, the value keeps the name it had, a new
    // one in name order, options and comments where they were.
    EXPECT_NE(after[1].substr(0, 60), before[1].substr(0, 60));
    EXPECT_EQ(timeless(after[1]),
              "[Software\\\\Classes\\\\CLSID\\\\{A}] T\n#time=T\n#class=\"kept\"\n@=\"First\"\n"
              "\"Beta\"=\"b\"\n\"InfoTip\"=\"New tip\"\n"
              "\"Zeta\"=dword:00000001\n\n");
    EXPECT_EQ(timeless(after[2]),
              "[Software\\\\Classes\\\\lnkfile] T\n#time=T\n;; a comment of our own\n\n");
    EXPECT_EQ(prefix.user(), kUser);

    // New keys in one write, in name order; a key deleted leaves its parent.
    regstore::Store& store = *regstore::current();
    store.begin();
    store.createKey(regstore::Root::ClassesRoot, "piffile");
    store.createKey(regstore::Root::LocalMachine, "Software\\Classes\\AAA\\Deep");
    store.commit();
    std::vector<std::string> made = sections(prefix.system());
    ASSERT_EQ(made.size(), 6u);
    EXPECT_TRUE(made[1].starts_with("[Software\\\\Classes\\\\AAA\\\\Deep] ")) << made[1];
    EXPECT_TRUE(made[4].starts_with("[Software\\\\Classes\\\\piffile] ")) << made[4];
    store.deleteKey(*store.findKey(regstore::Root::LocalMachine, "Software\\Classes\\AAA\\Deep"));
    EXPECT_TRUE(store.findKey(regstore::Root::LocalMachine, "Software\\Classes\\AAA"));
    EXPECT_NE(prefix.system().find("[Software\\\\Classes\\\\AAA] "), std::string::npos);
}

TEST(PrefixStore, TheAFunctionsConvertCodePageText) {
    TempPrefix prefix;
    // Written without a terminating NUL, stored with one as Wine stores
    // it (a string given with its own NUL keeps just that one), and read
    // back as it was written.
    Module2::setvalue(HKCU, "Software\\Wine", "Tip", QStringLiteral("Caf\u00e9 \u20ac"), 1);
    EXPECT_NE(prefix.user().find("\"Tip\"=\"Caf\\xe9 \\x20ac\"\n"), std::string::npos)
        << prefix.user();
    HKEY w = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, 0x3F, &w), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(w, "Own", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab"), 3),
              ERROR_SUCCESS);
    RegCloseKey(w);
    EXPECT_NE(prefix.user().find("\"Own\"=\"ab\"\n"), std::string::npos) << prefix.user();
    EXPECT_EQ(Module2::getvalue(HKCU, "Software\\Wine", "tip"),
              RegValue(QStringLiteral("Caf\u00e9 \u20ac")));
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, 0x3F, &h), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(h, "Version", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    char small[2] = {'x', 'y'};
    size = 2;
    EXPECT_EQ(RegQueryValueExA(h, "Version", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::string(small, 2), "xy");
    RegCloseKey(h);
    // A key that is not there is not made, and the value is kept as not
    // written for want of it.
    const std::string before = prefix.user();
    Module2::setvalue(HKCU, "Software\\Missing", "x", QStringLiteral("y"), 1);
    EXPECT_EQ(prefix.user(), before);
    const std::vector<failed_writes::Failure> failed = failed_writes::take();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].cause, failed_writes::Cause::KeyMissing);
    EXPECT_EQ(failed[0].key, "HKEY_CURRENT_USER\\Software\\Missing");
}

TEST(PrefixStore, AFileThatCannotBeReadIsNeverWritten) {
    const std::string damaged = kUser + "\"Broken\"=hex:zz\n";
    TempPrefix prefix(kSystem, damaged);
    EXPECT_NE(
        regstore::problem().find((prefix.dir() / "user.reg").string() + " cannot be read: line 9"),
        std::string::npos)
        << regstore::problem();
    EXPECT_EQ(Module2::getvalue(HKCU, "Software\\Wine", "Version"), RegValue());
    EXPECT_EQ(Module2::getvalue(HKCR, "CLSID\\{A}", "InfoTip"),
              RegValue(QStringLiteral("Old tip")));
    Module2::setvalue(HKCR, "CLSID\\{A}", "InfoTip", QStringLiteral("New"), 1);
    EXPECT_EQ(prefix.system(), kSystem);
    EXPECT_EQ(prefix.user(), damaged);
    const std::vector<failed_writes::Failure> told = failed_writes::take();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].reason.find("read-only"), std::string::npos) << told[0].reason;
}

TEST(PrefixStore, FilesTheUserMayNotWriteAreShownAndEachChangeIsRefused) {
    TempPrefix prefix;
    ::chmod((prefix.dir() / "user.reg").c_str(), 0444);
    ::chmod((prefix.dir() / "system.reg").c_str(), 0444);
    ::chmod(prefix.dir().c_str(), 0555);
    testing_support::asNobody([&] {
        machine::select(machine::Machine::winePrefix(prefix.dir()));
        const std::string userFile = (prefix.dir() / "user.reg").string();
        EXPECT_NE(regstore::problem().find(userFile + " cannot be written"), std::string::npos)
            << regstore::problem();
        EXPECT_EQ(Module2::getvalue(HKCU, "Software\\Wine", "Version"),
                  RegValue(QStringLiteral("win10")));
        Module2::setvalue(HKCU, "Software\\Wine", "Version", QStringLiteral("win98"), 1);
        // A key it lacks could not be made there either: not written for
        // the same reason.
        Module2::setvalue(HKCU, "Software\\Missing", "x", QStringLiteral("y"), 1);
        const std::vector<failed_writes::Failure> told = failed_writes::take();
        ASSERT_EQ(told.size(), 2u);
        for (const failed_writes::Failure& f : told) {
            EXPECT_EQ(f.cause, failed_writes::Cause::NotWritable) << f.key;
            EXPECT_NE(f.reason.find(userFile + " cannot be written: Permission denied"),
                      std::string::npos)
                << f.reason;
        }
        regstore::selectHive("/nonexistent/knobwise-prefix-test.db");
    });
    ::chmod(prefix.dir().c_str(), 0700);
    EXPECT_EQ(prefix.user(), kUser);
    EXPECT_EQ(prefix.system(), kSystem);
}

TEST(PrefixStore, WritersTakeTurnsAndLinksAndModesStay) {
    TempPrefix prefix;
    // user.reg a link to a file elsewhere, of mode 0640.
    const fs::path real = prefix.dir() / "elsewhere" / "user.reg";
    writeFile(real, kUser);
    ::chmod(real.c_str(), 0640);
    fs::remove(prefix.dir() / "user.reg");
    fs::create_symlink(real, prefix.dir() / "user.reg");

    auto first = regstore::PrefixStore::open(prefix.dir());
    auto second = regstore::PrefixStore::open(prefix.dir());
    const regstore::KeyId k1 = *first->findKey(regstore::Root::CurrentUser, "Software\\Wine");
    const regstore::KeyId k2 = *second->findKey(regstore::Root::CurrentUser, "Software\\Wine");
    first->setValue(k1, "One", REG_DWORD, "\1\0\0\0"s);
    second->setValue(k2, "Two", REG_DWORD, "\2\0\0\0"s);  // read the file again first
    EXPECT_TRUE(first->value(k1, "One"));
    EXPECT_TRUE(second->value(k2, "One"));
    const std::string text = readFile(real);
    EXPECT_NE(text.find("\"One\"=dword:00000001\n\"Two\"=dword:00000002\n"), std::string::npos)
        << text;
    EXPECT_TRUE(fs::is_symlink(prefix.dir() / "user.reg"));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(real.parent_path()), fs::directory_iterator()),
              1);
}

// The prefix's Wine, played by the test: whether a server runs, the keys it
// holds, what was imported into it; an import may fail, or claim to be
// made and take nothing.
struct FakeWine : regstore::LiveWine {
    Server now;
    std::vector<std::string> imported;
    bool failing = false;
    bool lying = false;
    // Each key by its folded full name: the name as written, and its lines.
    std::map<std::string, std::pair<std::string, std::map<std::string, std::string>>> keys;

    static std::string folded(std::string name) {
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name;
    }
    // Takes a registry file's lines (UTF-8, without its header) into what
    // Wine holds.
    void hold(const std::string& lines) {
        std::string file("\xff\xfe", 2);
        EXPECT_TRUE(utf16::fromUtf8("Windows Registry Editor Version 5.00\r\n" + lines, file));
        take(file);
    }
    void take(std::string_view file) {
        std::string current;
        for (const dotreg::Change& c : dotreg::parse(file, regstore::TextData::Utf16)) {
            const std::string name =
                std::string(regstore::rootKey(c.root).longName) + "\\" + c.keyPath;
            if (c.kind == dotreg::Change::CreateKey) {
                current = folded(name);
                keys.try_emplace(current, name, std::map<std::string, std::string>{});
            } else if (c.kind == dotreg::Change::DeleteKey) {
                std::erase_if(keys, [&](const auto& k) {
                    return k.first == folded(name) || k.first.starts_with(folded(name) + "\\");
                });
            } else {
                auto& values = keys[current].second;
                std::string line = c.name.empty() ? "@" : "\"";
                for (char ch : c.name)
                    line += ch == '"' || ch == '\\' ? std::string("\\") + ch : std::string(1, ch);
                if (!c.name.empty()) line += '"';
                if (c.kind == dotreg::Change::DeleteValue) {
                    values.erase(folded(line));
                    continue;
                }
                std::string hex;
                for (unsigned char b : c.data) {
                    static const char* digits = "0123456789abcdef";
                    hex += std::string(hex.empty() ? "" : ",") + digits[b >> 4] + digits[b & 15];
                }
                char type[16];
                std::snprintf(type, sizeof type, "%x", static_cast<unsigned>(c.type));
                values[folded(line)] = line + "=hex(" + type + "):" + hex;
            }
        }
    }
    Server server() override { return now; }
    std::string read(const std::vector<regstore::KeyPath>& asked, bool below) override {
        std::string out = "Windows Registry Editor Version 5.00\r\n";
        for (const regstore::KeyPath& k : asked) {
            const std::string want =
                folded(std::string(regstore::rootKey(k.root).longName) + "\\" + k.path);
            for (const auto& [key, held] : keys) {
                if (key != want && !(below && key.starts_with(want + "\\"))) continue;
                out += "[" + held.first + "]\r\n";
                for (const auto& [name, line] : held.second) out += line + "\r\n";
            }
        }
        std::string file("\xff\xfe", 2);
        EXPECT_TRUE(utf16::fromUtf8(out, file));
        return file;
    }
    void import(std::string_view file) override {
        if (failing) throw regstore::Refused(ERROR_ACCESS_DENIED, "Wine failed");
        EXPECT_EQ(file.substr(0, 2), "\xff\xfe");
        imported.push_back(utf16::toUtf8Lenient(file.substr(2)));
        if (!lying) take(file);
    }
};
using State = regstore::LiveWine::State;

TEST(PrefixStore, ChangesGoToTheFilesOrTheRunningWineOrAreRefused) {
    TempPrefix prefix;
    auto wine = std::make_shared<FakeWine>();
    const std::string why = "Wine is running, but its server belongs to another user";
    wine->now = {State::Unusable, why, "1"};
    auto store = regstore::PrefixStore::open(prefix.dir(), wine);
    const regstore::KeyId key = *store->findKey(regstore::Root::CurrentUser, "Software\\Wine");
    try {
        store->setValue(key, "X", REG_SZ, "");
        ADD_FAILURE() << "written behind a server";
    } catch (const regstore::Refused& e) {
        EXPECT_EQ(e.what(), why);
    }
    EXPECT_THROW(store->begin(), regstore::Refused);

    // A usable Wine: the whole transaction in one import, seen at once.
    wine->now = {State::Usable, "", "2"};
    store->begin();
    store->setValue(key, "X\"", REG_SZ, "A\0\0\0"s);
    store->deleteValue(key, "Version");
    store->createKey(regstore::Root::LocalMachine, "Software\\New");
    EXPECT_EQ(store->value(key, "X\"")->data, "A\0\0\0"s);
    EXPECT_FALSE(store->value(key, "Version"));
    store->commit();
    ASSERT_EQ(wine->imported.size(), 1u);
    EXPECT_EQ(wine->imported[0],
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"X\\\"\"=hex(1):41,00,00,00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"Version\"=-\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\New]\r\n\r\n");
    EXPECT_EQ(prefix.user(), kUser);
    EXPECT_EQ(prefix.system(), kSystem);

    // An import that fails is refused, and forgotten; so is one that Wine
    // claims to have made but does not hold when read back.
    wine->failing = true;
    EXPECT_THROW(store->setValue(key, "Y", REG_DWORD, "\1\0\0\0"s), regstore::Refused);
    EXPECT_FALSE(store->value(key, "Y"));
    EXPECT_EQ(wine->imported.size(), 1u);
    wine->failing = false;
    wine->lying = true;
    try {
        store->setValue(key, "Y", REG_DWORD, "\1\0\0\0"s);
        ADD_FAILURE() << "a change Wine does not hold was taken as made";
    } catch (const regstore::Refused& e) {
        EXPECT_NE(std::string(e.what()).find("HKEY_CURRENT_USER\\Software\\Wine (Y) does not hold"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(store->value(key, "Y"));
    EXPECT_EQ(wine->imported.size(), 2u);
    wine->lying = false;

    // The server gone: the files, read again first.
    wine->now = {};
    store->setValue(key, "Z", REG_SZ, "");
    EXPECT_NE(prefix.user().find("\"Z\"="), std::string::npos) << prefix.user();
    EXPECT_NE(prefix.user().find("\"Version\""), std::string::npos) << prefix.user();
    EXPECT_EQ(wine->imported.size(), 2u);
}

TEST(PrefixStore, ValuesComeFromTheRunningWineAndAgainFromANewServer) {
    TempPrefix prefix;
    auto wine = std::make_shared<FakeWine>();
    wine->now = {State::Usable, "", "1"};
    wine->hold(
        "[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"Version\"=hex(1):37,00,00,00\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Live]\r\n@=hex(4):01,00,00,00\r\n");
    auto store = regstore::PrefixStore::open(prefix.dir(), wine,
                                             {{regstore::Root::CurrentUser, "Software\\Wine"},
                                              {regstore::Root::ClassesRoot, "Live"},
                                              {regstore::Root::ClassesRoot, "lnkfile"}});
    const regstore::KeyId key = *store->findKey(regstore::Root::CurrentUser, "Software\\Wine");
    EXPECT_EQ(store->value(key, "Version")->data, "7\0\0\0"s);
    const std::optional<regstore::KeyId> live = store->findKey(regstore::Root::ClassesRoot, "Live");
    ASSERT_TRUE(live);
    EXPECT_EQ(store->value(*live, "")->type, REG_DWORD);
    EXPECT_FALSE(store->findKey(regstore::Root::ClassesRoot, "lnkfile"));
    // Made again there, the key the files held starts empty.
    const regstore::KeyId made = store->createKey(regstore::Root::ClassesRoot, "lnkfile");
    EXPECT_TRUE(store->values(made).empty());
    ASSERT_EQ(wine->imported.size(), 1u);
    EXPECT_NE(wine->imported[0].find("[HKEY_LOCAL_MACHINE\\Software\\Classes\\lnkfile]"),
              std::string::npos);

    wine->hold("[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"Version\"=hex(1):38,00,00,00\r\n");
    store->setValue(key, "Same server", REG_SZ, "");
    EXPECT_EQ(store->value(key, "Version")->data, "7\0\0\0"s);
    wine->now.id = "2";
    store->setValue(key, "New server", REG_SZ, "");
    EXPECT_EQ(store->value(key, "Version")->data, "8\0\0\0"s);
    EXPECT_TRUE(store->value(key, "New server"));
    EXPECT_EQ(store->liveNote(), "");
}

// A change to both files in one transaction: both are written and synced
// before either takes its place, so a failure while writing the second
// leaves both as they were.
TEST(PrefixStore, ATransactionOverBothFilesFailsAsAWhole) {
    TempPrefix prefix;
    auto store = regstore::PrefixStore::open(prefix.dir());
    int writes = 0;
    atomic_file::setProbe(
        [&](std::string_view step) { return step == "write" && ++writes == 2 ? ENOSPC : 0; });
    store->begin();
    store->createKey(regstore::Root::LocalMachine, "Software\\New");
    store->createKey(regstore::Root::CurrentUser, "Software\\New");
    EXPECT_THROW(store->commit(), regstore::Error);
    atomic_file::setProbe({});
    EXPECT_EQ(prefix.system(), kSystem);
    EXPECT_EQ(prefix.user(), kUser);
    EXPECT_FALSE(store->findKey(regstore::Root::LocalMachine, "Software\\New"));
}

}  // namespace
