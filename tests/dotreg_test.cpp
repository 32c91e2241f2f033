// .reg files: writing and reading back, hand-written files of both formats,
// and files with faults, which must change nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "dotreg/dotreg.h"
#include "files/atomic_file.h"
#include "support/faulty_vfs.h"
#include "support/temp_machine.h"
#include "text/hexdigits.h"
#include "text/utf16.h"
#include "wineprefix/prefix_store.h"

using namespace std::string_literals;
using dotreg::Format;

namespace {

// A fresh hive file in a directory of its own.
class Scratch {
  public:
    Scratch()
        : dir_(testing_support::makeTempDir("knobwise-dotreg-")),
          hive_(regstore::SqliteHive::create(dir_ / "r.db")) {}
    ~Scratch() {
        hive_.reset();
        std::filesystem::remove_all(dir_);
    }
    regstore::SqliteHive& operator*() { return *hive_; }
    regstore::SqliteHive* operator->() { return hive_.get(); }

  private:
    std::filesystem::path dir_;
    std::unique_ptr<regstore::SqliteHive> hive_;
};

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

std::string toUtf16File(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    EXPECT_TRUE(utf16::fromUtf8(utf8, out));
    return out;
}

// Every key below `key` with its values, as text that names every byte.
std::string dump(regstore::Store& h, regstore::KeyId key, const std::string& indent = "") {
    std::string out;
    for (const regstore::Value& v : h.values(key)) {
        out += indent + "'" + v.name + "' " + std::to_string(v.type) + " [";
        for (unsigned char c : v.data) out += std::to_string(c) + " ";
        out += "]\n";
    }
    for (const regstore::Subkey& s : h.subkeys(key))
        out += indent + "[" + s.name + "]\n" + dump(h, s.id, indent + "  ");
    return out;
}

void fillWithEveryKindOfValue(regstore::SqliteHive& h, regstore::KeyId key) {
    h.setValue(key, "", REG_SZ, "default\0"s);
    h.setValue(key, "plain", REG_SZ, "some text\0"s);
    h.setValue(key, "no terminator", REG_SZ, "abc");  // as the program writes strings
    h.setValue(key, "zero bytes", REG_SZ, "");
    h.setValue(key, "only the terminator", REG_SZ, std::string(1, '\0'));
    h.setValue(key, "two terminators", REG_SZ, "x\0\0"s);
    h.setValue(key, "line break", REG_SZ, "one\r\ntwo\0"s);
    h.setValue(key, "inner nul", REG_SZ, "a\0b\0"s);
    h.setValue(key, "quote \"and\" back\\slash", REG_SZ, "C:\\dir \"x\" \\\0"s);
    h.setValue(key, "@", REG_SZ, "at\0"s);
    h.setValue(key, "caf\xc3\xa9 \xe2\x82\xac", REG_SZ,
               bytes({0x80, ' ', 0xE9, ' ', 0x81, ' ', 0x9D, 0}));
    h.setValue(key, "expand", REG_EXPAND_SZ, std::string("%windir%\\system\0", 17));
    h.setValue(key, "expand with odd bytes", REG_EXPAND_SZ, bytes({0xE9, 0x81, 0}));
    h.setValue(key, "multi", REG_MULTI_SZ, std::string("one\0two \xE9\0\0", 10));
    h.setValue(key, "binary empty", REG_BINARY, "");
    std::string long_;
    for (int i = 0; i < 300; ++i) long_.push_back(static_cast<char>(i * 7));
    h.setValue(key, "binary long", REG_BINARY, long_);
    h.setValue(key, "dword", REG_DWORD, bytes({0x78, 0x56, 0x34, 0x12}));
    h.setValue(key, "dword too short", REG_DWORD, bytes({1, 2, 3}));
    h.setValue(key, "none", REG_NONE, bytes({0, 0xFF}));
    h.setValue(key, "big endian", 5, bytes({0, 0, 0, 1}));
    h.setValue(key, "strange type", 0x12345678u, "xyz");
}

class RoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTrip, WritingAndReadingBackGivesTheSameHive) {
    Scratch a;
    regstore::KeyId top = a->createKey(regstore::Root::CurrentUser, "Software\\Round Trip");
    fillWithEveryKindOfValue(*a, top);
    fillWithEveryKindOfValue(*a, a->createKey(top, "Nested\\Deeper \"quoted\" key]"));
    a->createKey(top, "Empty");
    a->createKey(top, "caf\xc3\xa9");
    const std::string name = "HKEY_CURRENT_USER\\Software\\Round Trip";
    const std::string first = dotreg::write(*a, top, name, GetParam());

    Scratch b;
    dotreg::apply(*b, dotreg::parse(first));
    std::optional<regstore::KeyId> copy =
        b->findKey(regstore::Root::CurrentUser, "Software\\Round Trip");
    ASSERT_TRUE(copy);
    EXPECT_EQ(dump(*b, *copy), dump(*a, top));
    EXPECT_EQ(dotreg::write(*b, *copy, name, GetParam()), first);
}

TEST_P(RoundTrip, ClassesRootIsWrittenUnderEitherName) {
    Scratch a;
    regstore::KeyId lnk = a->createKey(regstore::Root::ClassesRoot, "lnkfile");
    a->setValue(lnk, "IsShortcut", REG_SZ, std::string(1, '\0'));
    std::string text = dotreg::write(*a, lnk, "HKEY_CLASSES_ROOT\\lnkfile", GetParam());
    Scratch b;
    dotreg::apply(*b, dotreg::parse(text));
    std::optional<regstore::KeyId> viaMachine =
        b->findKey(regstore::Root::LocalMachine, "SOFTWARE\\CLASSES\\LNKFILE");
    ASSERT_TRUE(viaMachine);
    EXPECT_EQ(b->value(*viaMachine, "isshortcut")->data, std::string(1, '\0'));
}

INSTANTIATE_TEST_SUITE_P(BothFormats, RoundTrip,
                         ::testing::Values(Format::Regedit4, Format::Unicode),
                         [](const auto& info) {
                             return info.param == Format::Regedit4 ? "Regedit4" : "Unicode";
                         });

TEST(RegFileWrite, KeepsTheRegistryEditorsLayout) {
    Scratch h;
    regstore::KeyId key = h->createKey(regstore::Root::LocalMachine, "Software\\Layout");
    h->setValue(key, "", REG_SZ, "Default\0"s);
    h->setValue(key, "Count", REG_DWORD, bytes({0x2A, 0, 0, 0}));
    h->setValue(key, "Path", REG_EXPAND_SZ, "%A%\0"s);
    h->setValue(key, "Raw", REG_BINARY, std::string(30, '\x11'));
    h->createKey(key, "Sub");
    const std::string expected =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Layout]\r\n"
        "@=\"Default\"\r\n"
        "\"Count\"=dword:0000002a\r\n"
        "\"Path\"=hex(2):25,41,25,00\r\n"
        "\"Raw\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\r\n"
        "  11,11,11,11,11,11,11\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Layout\\Sub]\r\n"
        "\r\n";
    EXPECT_EQ(dotreg::write(*h, key, "HKEY_LOCAL_MACHINE\\Software\\Layout", Format::Regedit4),
              expected);

    // The Unicode file says the same in UTF-16, except that the data of a
    // text value in hex is UTF-16 too.
    std::string unicode =
        dotreg::write(*h, key, "HKEY_LOCAL_MACHINE\\Software\\Layout", Format::Unicode);
    ASSERT_TRUE(unicode.starts_with("\xFF\xFE"));
    utf16::Decoded text = utf16::toUtf8(std::string_view(unicode).substr(2));
    ASSERT_TRUE(text.ok);
    std::string want = expected;
    want.replace(0, 8, "Windows Registry Editor Version 5.00");
    want.replace(want.find("25,41,25,00"), 11, "25,00,41,00,25,00,00,00");
    EXPECT_EQ(text.utf8, want);
}

TEST(RegFileWrite, RefusesNamesTheFormatCannotCarry) {
    Scratch h;
    regstore::KeyId key = h->createKey(regstore::Root::CurrentUser, "Software\\Greek \xce\xa9");
    EXPECT_THROW(
        dotreg::write(*h, key, "HKEY_CURRENT_USER\\Software\\Greek \xce\xa9", Format::Regedit4),
        std::runtime_error);
    EXPECT_NO_THROW(
        dotreg::write(*h, key, "HKEY_CURRENT_USER\\Software\\Greek \xce\xa9", Format::Unicode));
    regstore::KeyId other = h->createKey(regstore::Root::CurrentUser, "Software\\Plain");
    h->setValue(other, "first\nsecond", REG_SZ, "x");
    EXPECT_THROW(dotreg::write(*h, other, "HKEY_CURRENT_USER\\Software\\Plain", Format::Unicode),
                 std::runtime_error);
}

TEST(RegFileRead, HandWrittenRegedit4File) {
    Scratch h;
    regstore::KeyId old = h->createKey(regstore::Root::CurrentUser, "Software\\Old\\Below");
    h->setValue(old, "x", REG_SZ, "y");
    regstore::KeyId keep = h->createKey(regstore::Root::CurrentUser, "Software\\Keep");
    h->setValue(keep, "gone", REG_DWORD, bytes({1, 0, 0, 0}));
    h->setValue(keep, "", REG_SZ, "default");
    const std::string file =
        "REGEDIT4\n"
        "; a comment, and blank lines with spaces follow\n"
        "   \n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\New\\Caf\xE9]\n"
        "\"Text\" = \"say \\\"hi\\\" to C:\\\\WINDOWS \xE9\"\r\n"
        "@=\"the default\"\n"
        "\"Short\"=dword:1f\n"
        "\"Bytes\"=hex:01,02,\\\n"
        "   0a, ff,\\\n"
        "  10\n"
        "\"Multi\"=hex(7):61,00,62,00,00\n"
        "\"Nothing\"=hex(0):\n"
        "\"Big\"=hex(ABCDEF01):7\n"
        "[-HKEY_CURRENT_USER\\Software\\Old]\n"
        "[HKCU\\Software\\Keep]\n"
        "\"gone\"=-\n"
        "@=-\n"
        "[HKEY_CLASSES_ROOT\\piffile]\n"
        "\"IsShortcut\"=\"\"\n";
    dotreg::apply(*h, dotreg::parse(file));

    std::optional<regstore::KeyId> key =
        h->findKey(regstore::Root::CurrentUser, "Software\\New\\caf\xc3\xa9");
    ASSERT_TRUE(key);
    EXPECT_EQ(h->value(*key, "Text")->data, std::string("say \"hi\" to C:\\WINDOWS \xE9") + '\0');
    EXPECT_EQ(h->value(*key, "")->data, "the default\0"s);
    EXPECT_EQ(h->value(*key, "Short")->type, REG_DWORD);
    EXPECT_EQ(h->value(*key, "Short")->data, bytes({0x1F, 0, 0, 0}));
    EXPECT_EQ(h->value(*key, "Bytes")->type, REG_BINARY);
    EXPECT_EQ(h->value(*key, "Bytes")->data, bytes({1, 2, 0x0A, 0xFF, 0x10}));
    EXPECT_EQ(h->value(*key, "Multi")->type, REG_MULTI_SZ);
    EXPECT_EQ(h->value(*key, "Multi")->data, bytes({'a', 0, 'b', 0, 0}));
    EXPECT_EQ(h->value(*key, "Nothing")->type, REG_NONE);
    EXPECT_EQ(h->value(*key, "Nothing")->data, "");
    EXPECT_EQ(h->value(*key, "Big")->type, 0xABCDEF01u);
    EXPECT_EQ(h->value(*key, "Big")->data, bytes({7}));

    EXPECT_FALSE(h->findKey(regstore::Root::CurrentUser, "Software\\Old"));
    EXPECT_FALSE(h->value(keep, "gone"));
    EXPECT_FALSE(h->value(keep, ""));
    std::optional<regstore::KeyId> pif =
        h->findKey(regstore::Root::LocalMachine, "Software\\Classes\\piffile");
    ASSERT_TRUE(pif);
    EXPECT_EQ(h->value(*pif, "IsShortcut")->data, std::string(1, '\0'));
}

TEST(RegFileRead, HandWrittenUnicodeFile) {
    Scratch h;
    const std::string file = toUtf16File(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\\xce\xa9mega]\r\n"
        "\"\xe2\x82\xac\"=\"5 \xe2\x82\xac, caf\xc3\xa9\"\r\n"
        "\"Expand\"=hex(2):41,00,e9,00,00,00\r\n"
        "\"Raw\"=hex:41,00,e9\r\n");
    dotreg::apply(*h, dotreg::parse(file));
    std::optional<regstore::KeyId> key =
        h->findKey(regstore::Root::CurrentUser, "Software\\\xce\xa9mega");
    ASSERT_TRUE(key);
    // Text lands in the hive as code-page bytes; binary data as it stands.
    EXPECT_EQ(h->value(*key, "\xe2\x82\xac")->data, std::string("5 \x80, caf\xE9") + '\0');
    EXPECT_EQ(h->value(*key, "Expand")->data, "A\xE9\0"s);
    EXPECT_EQ(h->value(*key, "Raw")->data, bytes({0x41, 0, 0xE9}));
}

std::string r4(const std::string& body) {
    return "REGEDIT4\r\n\r\n" + body;
}
// Values of HKCU\Software\T, from line 4 on.
std::string t4(const std::string& body) {
    return r4("[HKEY_CURRENT_USER\\Software\\T]\r\n" + body);
}
std::string t5(const std::string& body) {
    return toUtf16File(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\T]\r\n" +
        body);
}

// HKCU\Software\T and HKCR\T (as CR\) with everything below, as Wine's
// reg import leaves them seen by regdump.exe: "name type bytes", " | " apart.
std::string wineDump(regstore::Store& s) {
    std::string out;
    std::function<void(regstore::KeyId, const std::string&)> walk = [&](regstore::KeyId key,
                                                                        const std::string& at) {
        std::vector<regstore::Value> values = s.values(key);
        std::sort(values.begin(), values.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const regstore::Value& v : values) {
            out += (out.empty() ? "" : " | ") + at + (v.name.empty() ? "@" : v.name) + " " +
                   std::to_string(v.type);
            for (size_t i = 0; i < v.data.size(); ++i)
                out += (i ? "," : " ") + hexdigits::of(static_cast<unsigned char>(v.data[i]), 2);
        }
        for (const regstore::Subkey& k : s.subkeys(key)) walk(k.id, at + k.name + "\\");
    };
    if (auto t = s.findKey(regstore::Root::CurrentUser, "Software\\T")) walk(*t, "");
    if (auto t = s.findKey(regstore::Root::ClassesRoot, "T")) walk(*t, "CR\\");
    return out;
}

struct AsRegExe {
    const char* what;
    std::string file;
    const char* held;  // wineDump() after Wine's reg import; "refused" when it exits 1
    std::vector<std::pair<int, const char*>> warnings = {};  // line, and words of the message
};

// Each file read as reg.exe reads it into a Wine prefix, whose text data is
// UTF-16 as Wine's is: what the prefix then holds is what Wine's reg import
// left in one. A line skipped is reported, and reading strictly refuses it.
TEST(RegFileRead, ReadsAFileAsRegExeDoes) {
    const AsRegExe cases[] = {
        // Comments, and text after the data.
        {"comments after data", t4("\"A\"=\"x\"  ;c\r\n\"B\"=dword:5;c\r\n\"C\"=hex:01,02 ;c\r\n"),
         "A 1 78,00,00,00 | B 4 05,00,00,00 | C 3 01,02"},
        {"text after data",
         t4("\"F\"=\"x\" x\r\n\"G\"=dword:5 x\r\n\"H\"=hex:01 02\r\n\"I\"=\"x\" #c\r\n"),
         "",
         {{4, "after the string"}, {5, "\"dword:5 x\" is not a number"}, {6, "comma"}, {7, "#c"}}},
        {"# lines and others",
         t4("#\"A\"=\"x\"\r\n  # c\r\n\"B\"=\"x\"\r\nxyz\r\n"),
         "B 1 78,00,00,00",
         {{7, "\"xyz\""}}},
        // Continued hex values.
        {"comments and blanks inside",
         t4("\"A\"=hex:63,6f,\\;c\r\n;c\r\n\r\n  \r\n  74 ;c\r\n\"B\"=hex:\\\r\n 01,\\ ;c\r\n "
            "02,\r\n"),
         "A 3 63,6f,74 | B 3 01,02"},
        {"a blank line does not end it",
         t4("\"V\"=hex(2):4c,69,\\\r\n\r\n@=\"Default\"\r\n\"B\"=\"x\"\r\n"),
         "B 1 78,00,00,00",
         {{4, "continues on line 6: \"@=\"Default\"\" is not a hex byte"}}},
        {"continuation mistakes",
         t4("\"A\"=hex:11,\\\r\n\\\r\n\"B\"=hex:11,2\\\r\n2,33\r\n\"C\"=hex:01,\\ "
            "x\r\n\"D\"=\"x\"\r\n"),
         "D 1 78,00,00,00",
         {{4, "continues on line 5"},
          {6, "\"2\\\\\" is not"},
          {7, "\"2,33\""},
          {8, "after the \\"}}},
        {"open at the end",
         t4("\"A\"=hex:01,\\\r\n  02,\\\r\n"),
         "A 3 01,02",
         {{4, "past the end"}}},
        // Terminators: a NUL (two bytes in UTF-16) added to text data that lacks one.
        {"terminators, 8-bit",
         t4("\"A\"=hex(2):25,50,25\r\n\"B\"=hex(7):61,00,62\r\n\"C\"=hex(7):61,00,00\r\n"
            "\"D\"=hex(2):\r\n\"E\"=hex(1):61\r\n"),
         "A 2 25,00,50,00,25,00,00,00 | B 7 61,00,00,00,62,00,00,00 | C 7 61,00,00,00,00,00 | D 2 "
         "| E 1 61,00,00,00"},
        {"terminators, UTF-16",
         t5("\"A\"=hex(2):25,00,50,00\r\n\"B\"=hex(7):61,00,00,00,62,00\r\n\"C\"=hex(1):61,00,00,"
            "00\r\n"),
         "A 2 25,00,50,00,00,00 | B 7 61,00,00,00,62,00,00,00 | C 1 61,00,00,00"},
        // Headers and encodings: the encoding decides how hex text is read.
        {"5.00 header in 8-bit text",
         "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"
         "\"A\"=\"caf\xE9\"\r\n\"B\"=hex(2):41,00,42,00\r\n",
         "A 1 63,00,61,00,66,00,e9,00,00,00 | B 2 41,00,00,00,42,00,00,00"},
        {"REGEDIT4 in UTF-16",
         toUtf16File(
             "REGEDIT4\r\n[HKCU\\Software\\T]\r\n\"A\"=\"caf\xc3\xa9\"\r\n\"B\"=hex(2):41,00\r\n"),
         "A 1 63,00,61,00,66,00,e9,00,00,00 | B 2 41,00,00,00"},
        {"blanks before the header", " \tREGEDIT4\n[HKCU\\Software\\T]\r\"A\"=\"x\"",
         "A 1 78,00,00,00"},
        {"a blank line before it", "\r\nREGEDIT4\r\n", "refused"},
        {"lower case", "regedit4\r\n", "refused"},
        {"a blank after it", "REGEDIT4 \r\n[HKCU\\Software\\T]\r\n", "", {{1, "whole file"}}},
        {"an unknown version", "REGEDIT3\r\n[HKCU\\Software\\T]\r\n", "", {{1, "whole file"}}},
        {"5.00 with a blank after it", t5("").replace(74, 2, " \0"s), "refused"},
        {"UTF-8 with a BOM", "\xEF\xBB\xBFREGEDIT4\r\n", "refused"},
        {"empty", "", "refused"},
        {"big-endian", "\xFE\xFF\0R", "refused"},
        {"Windows 3.1",
         "REGEDIT\r\nHKEY_CLASSES_ROOT\\T = One\r\nHKEY_CLASSES_ROOT\\T\\K   =  x  \r\n"
         "HKEY_CLASSES_ROOT\\T\\N\r\nHKCR\\T\\X = x\r\nHKEY_CLASSES_ROOTX\\T = x\r\n",
         "CR\\@ 1 4f,00,6e,00,65,00,00,00 | CR\\K\\@ 1 20,00,78,00,20,00,20,00,00,00 | CR\\N\\@ 1 "
         "00,00",
         {{5, "HKEY_CLASSES_ROOT"}, {6, "unknown root"}}},
        {"blanks after dword:",
         t4("\"A\"=dword:  0000000f\r\n\"B\"=dword:\t9  \r\n\"C\"=DWORD:1\r\n"),
         "A 4 0f,00,00,00 | B 4 09,00,00,00",
         {{6, "unknown kind"}}},
        // Lines skipped, each with its warning.
        {"bad numbers",
         t4("\"A\"=dword:12345678abc\r\n\"B\"=dword:0x1\r\n\"C\"=dword:\r\n"),
         "",
         {{4, "\"dword:12345678abc\" is not a number"}, {5, "0x1"}, {6, "\"dword:\""}}},
        {"strings",
         t4("A=\"x\"\r\n\"B\"=\"foo\"bar\"\r\n\"C\"=\"C:\\W\"\r\n\"D\"=\"a\\nb\\\\\"\r\n"
            "\"E\"=\"a\\0\"\r\n\"F\"=\"open\r\n\"G\" = \"x\"\r\n"),
         "C 1 43,00,3a,00,57,00,00,00 | D 1 61,00,0a,00,62,00,5c,00,00,00 | G 1 78,00,00,00",
         {{4, "expected a [key]"},
          {5, "after the string"},
          {6, "unknown escape \\W"},
          {8, "\\0"},
          {9, "no closing quote"}}},
        {"hex bytes and types",
         t4("\"A\"=hex:1ff\r\n\"B\"=hex(0x2):41\r\n\"C\"=hex( 2):41\r\n\"D\"=hex():01\r\n"
            "\"E\"=hex:01, 02,0x3,+4\r\n\"F\"=hex:01,,02\r\n\"G\"=hex(ffffffff):01\r\n"),
         "C 2 41,00,00,00 | D 0 01 | E 3 01,02,03,04",
         {{4, "\"1ff\" is not a hex byte"},
          {5, "hex(0x2)"},
          {9, "missing"},
          {10, "hex(ffffffff)"}}},
        {"keys",
         t4("[HKEY_CURRENT_USERS\\X]\r\n\"A\"=\"x\"\r\n[ HKCU\\Software\\T\\B]\r\n\"B\"=\"x\"\r\n"
            "[HKCU\\Software\\T\\C\r\n\"C\"=\"x\"\r\n[hkcu\\Software\\\\T\\In]er] "
            ";c\r\n\"D\"=\"x\"\r\n"
            "[-HKCU\\Software\\T\\In]er] x\r\n\"E\"=\"x\"\r\n[HKCU\\Software\\T\\F "
            "]\r\n\"F\"=\"x\"\r\n"),
         "F \\F 1 78,00,00,00",
         {{4, "unknown root"},
          {5, "skipped"},
          {6, "blank"},
          {7, "skipped"},
          {8, "closing ]"},
          {9, "skipped"},
          {12, "after the ]"},
          {13, "being deleted"}}},
        {"values before any key",
         "REGEDIT4\r\n\"A\"=hex:01,\\\r\n[HKCU\\Software\\T]\r\n\"B\"=\"x\"\r\n",
         "",
         {{2, "continues on line 3"}, {4, "before any [key]"}}},
    };
    namespace fs = std::filesystem;
    const fs::path dir = testing_support::makeTempDir("knobwise-dotreg-asregexe-", true);
    for (const AsRegExe& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "prefix");
        for (const char* name : {"system.reg", "user.reg"})
            testing_support::writeFile(dir / "prefix" / name, "WINE REGISTRY Version 2\n");
        std::unique_ptr<regstore::PrefixStore> prefix = regstore::PrefixStore::open(dir / "prefix");
        try {
            dotreg::Parsed parsed =
                dotreg::read(c.file, prefix->textData(), dotreg::Reading::AsRegExe);
            dotreg::apply(*prefix, parsed.changes);
            EXPECT_EQ(wineDump(*prefix), c.held);
            ASSERT_EQ(parsed.warnings.size(), c.warnings.size());
            for (size_t i = 0; i < c.warnings.size(); ++i) {
                EXPECT_EQ(parsed.warnings[i].line, c.warnings[i].first);
                EXPECT_NE(parsed.warnings[i].what.find(c.warnings[i].second), std::string::npos)
                    << parsed.warnings[i].what;
            }
        } catch (const dotreg::ImportError& e) {
            EXPECT_EQ(std::string(c.held), "refused") << e.what();
            EXPECT_EQ(e.line(), 1);
            continue;
        }
        if (c.warnings.empty()) continue;
        try {
            dotreg::parse(c.file);
            ADD_FAILURE() << "accepted when read strictly";
        } catch (const dotreg::ImportError& e) {
            EXPECT_EQ(e.line(), c.warnings.front().first) << e.what();
        }
    }
    fs::remove_all(dir);
}

TEST(RegFileRead, ImportingAFileIsAllOrNothing) {
    Scratch h;
    std::filesystem::path dir = testing_support::makeTempDir("knobwise-dotreg-file-");
    const std::filesystem::path file = dir / "late fault.reg";
    std::string text = r4("[HKEY_CURRENT_USER\\Software\\A]\r\n\"one\"=\"1\"\r\n");
    for (int i = 0; i < 100; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
    testing_support::writeFile(file, text + "\"last\"=hex:0g\r\n");
    try {
        dotreg::importFile(*h, file);
        ADD_FAILURE() << "accepted";
    } catch (const dotreg::ImportError& e) {
        EXPECT_EQ(e.line(), 105);
    }
    EXPECT_FALSE(h->findKey(regstore::Root::CurrentUser, "Software\\A"));

    // A file that cannot be read is a clear error too.
    EXPECT_THROW(dotreg::importFile(*h, dir / "missing.reg"), dotreg::ImportError);
    EXPECT_THROW(dotreg::importFile(*h, dir), dotreg::ImportError);
    std::filesystem::remove_all(dir);
}

// An import with a fault at each write point in turn, made as knobreg makes
// it (open, import, close): in the hive each of SQLite's writes, syncs and
// file creations, in a Wine prefix each step of replacing the file. Every
// time the whole file is imported or nothing, and a failure is said.
TEST(RegFileRead, ImportWithAFaultAtEveryWritePointIsAllOrNothing) {
    namespace fs = std::filesystem;
    using Point = faulty_vfs::Point;
    using Opener = std::function<std::unique_ptr<regstore::Store>(const fs::path&)>;
    const fs::path dir = testing_support::makeTempDir("knobwise-dotreg-faults-", true);
    const fs::path file = dir / "changes.reg", image = dir / "image", copy = dir / "copy";
    testing_support::writeFile(file, r4("[HKEY_CURRENT_USER\\Software\\A]\r\n\"old\"=-\r\n"
                                        "\"new\"=dword:00000002\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\B\\C]\r\n@=\"text\"\r\n\r\n"
                                        "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"));
    auto fill = [](regstore::Store& store) {
        regstore::KeyId a = store.createKey(regstore::Root::CurrentUser, "Software\\A");
        store.setValue(a, "old", REG_DWORD, "\1\0\0\0"s);
        store.createKey(regstore::Root::CurrentUser, "Software\\Gone\\Deep");
    };
    struct Run {
        bool failed = false;
        std::string held;  // HKEY_CURRENT_USER afterwards
    };
    std::map<Point, int> reached;  // the VFS's operations during the last import
    // Imports into a fresh copy of the image, with faults during the import
    // only.
    auto importOnce = [&](const Opener& open) {
        fs::remove_all(copy);
        fs::copy(image, copy);
        Run run;
        try {
            std::unique_ptr<regstore::Store> store = open(copy);
            dotreg::importFile(*store, file);
            for (Point p : {Point::Write, Point::Sync, Point::Create})
                reached[p] = faulty_vfs::count(p);
        } catch (const std::exception&) {
            run.failed = true;
        }
        faulty_vfs::disarm();
        atomic_file::setProbe({});
        std::unique_ptr<regstore::Store> store = open(copy);
        run.held = dump(*store, *store->root(regstore::Root::CurrentUser));
        return run;
    };
    std::string before;
    auto expectAllOrNothing = [&](const Run& run, const Run& clean, bool uncertain,
                                  const std::string& where) {
        EXPECT_TRUE(run.held == before || run.held == clean.held) << where << ":\n" << run.held;
        if (run.held == before) {
            EXPECT_TRUE(run.failed) << where << ": nothing imported, and not said";
        } else if (!uncertain) {
            EXPECT_FALSE(run.failed) << where << ": imported, but said to have failed";
        }
    };

    // The hive.
    const Opener openHive = [](const fs::path& d) {
        return regstore::SqliteHive::open(d / "r.db");
    };
    fs::create_directory(image);
    fill(*regstore::SqliteHive::create(image / "r.db"));  // closed: no log beside it
    before = dump(*openHive(image), *openHive(image)->root(regstore::Root::CurrentUser));
    faulty_vfs::install();
    faulty_vfs::arm(Point::Write, INT_MAX, SQLITE_OK, 0);  // counts only
    const Run clean = importOnce(openHive);
    ASSERT_FALSE(clean.failed);
    const std::map<Point, int> points = reached;
    for (Point point : {Point::Write, Point::Sync, Point::Create}) {
        for (int code : {SQLITE_FULL, SQLITE_IOERR}) {
            for (int n = 1; n <= points.at(point); ++n) {
                const std::string where = std::string(faulty_vfs::name(point)) + " #" +
                                          std::to_string(n) + ": " + sqlite3_errstr(code);
                faulty_vfs::arm(point, n, code, code == SQLITE_FULL ? ENOSPC : EIO);
                Run run = importOnce(openHive);
                EXPECT_TRUE(faulty_vfs::fired()) << where;
                EXPECT_EQ(testing_support::integrityCheck(copy / "r.db"), "ok") << where;
                expectAllOrNothing(run, clean, false, where);
            }
        }
    }

    // A Wine prefix: the file changes when it is replaced.
    const Opener openPrefix = [](const fs::path& d) { return regstore::PrefixStore::open(d); };
    fs::remove_all(image);
    for (const char* name : {"system.reg", "user.reg"})
        testing_support::writeFile(image / name, "WINE REGISTRY Version 2\n");
    fill(*openPrefix(image));
    before = dump(*openPrefix(image), *openPrefix(image)->root(regstore::Root::CurrentUser));
    const Run cleanPrefix = importOnce(openPrefix);
    ASSERT_FALSE(cleanPrefix.failed);
    for (const char* step : {"create", "write", "sync", "rename", "syncdir"}) {
        bool fired = false;
        atomic_file::setProbe([&](std::string_view s) {
            fired = fired || s == step;
            return s == step ? ENOSPC : 0;
        });
        Run run = importOnce(openPrefix);
        EXPECT_TRUE(fired) << step;
        std::set<fs::path> files;
        for (const fs::directory_entry& e : fs::directory_iterator(copy))
            files.insert(e.path().filename());
        EXPECT_EQ(files, (std::set<fs::path>{"system.reg", "user.reg"})) << step;
        // After the rename the new file is there, not yet known to last.
        expectAllOrNothing(run, cleanPrefix, std::string(step) == "syncdir", step);
    }
    fs::remove_all(dir);
}

}  // namespace
