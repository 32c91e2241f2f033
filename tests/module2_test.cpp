// The registry procedures against a real hive.
#include <gtest/gtest.h>

#include "registry/Module2.h"
#include "registry/catalogue.h"
#include "registry/catalogue_io.h"
#include "support/temp_machine.h"

using namespace Module2;
using namespace std::string_literals;
using testing_support::TempMachine;

namespace {

const char* kKey = "Software\\Knobwise Test";

class Module2Test : public ::testing::Test {
  protected:
    Module2Test() { key_ = machine_.createKey(std::string("HKCU\\") + kKey); }
    std::optional<regstore::Value> stored(const char* name) {
        return machine_.admin().value(key_, name);
    }
    void store(const char* name, DWORD type, const std::string& bytes) {
        machine_.admin().setValue(key_, name, type, bytes);
    }
    // The procedures on the test's key.
    static void set(const QString& name, const char* text, std::uint32_t type = REG_SZ) {
        setvalue(catalogue::HKCU, kKey, name, QString::fromUtf8(text), type);
    }
    static RegValue get(const QString& name) { return getvalue(catalogue::HKCU, kKey, name); }

    TempMachine machine_{TempMachine::NoKeys};
    regstore::KeyId key_;
};

TEST_F(Module2Test, StringsAreWrittenWithoutTerminatorAndReadBackAsStrings) {
    set("Three", "abc");
    ASSERT_TRUE(stored("Three"));
    EXPECT_EQ(stored("Three")->type, REG_SZ);
    EXPECT_EQ(stored("Three")->data, "abc");
    EXPECT_EQ(get("Three"), RegValue(QString("abc")));

    // An empty text is a zero-length string value, and reads back as an
    // empty String, not as Empty.
    set("Nothing", "");
    ASSERT_TRUE(stored("Nothing"));
    EXPECT_EQ(stored("Nothing")->data.size(), 0u);
    RegValue v = get("Nothing");
    ASSERT_TRUE(regvalue::isString(v));
    EXPECT_EQ(std::get<QString>(v), "");
}

TEST_F(Module2Test, StringsCrossTheRegistryInCodePage1252) {
    set(QString::fromUtf8("Caf\xc3\xa9"), "\xe2\x82\xac 5 \xe2\x98\x83");
    // The euro sign is 0x80 in the code page; the snowman has no place there.
    ASSERT_TRUE(stored("caf\xc3\xa9"));
    EXPECT_EQ(stored("CAF\xc3\x89")->data, "\x80 5 ?");
    EXPECT_EQ(get(QString::fromUtf8("CAF\xc3\x89")),
              RegValue(QString::fromUtf8("\xe2\x82\xac 5 ?")));
}

TEST_F(Module2Test, StringStoredWithItsTerminatorReadsWithoutIt) {
    store("AutoAdminLogon", REG_SZ, "1\0"s);
    RegValue v = get("AutoAdminLogon");
    EXPECT_EQ(v, RegValue(QString("1")));
    // Only one terminator goes; an empty string with its NUL is still a String.
    store("Blank", REG_SZ, "\0"s);
    EXPECT_EQ(get("Blank"), RegValue(QString("")));
}

TEST_F(Module2Test, DwordsAreConvertedFromTextAndReadAsIntegers) {
    struct Case {
        const char* text;
        std::int32_t expected;
    } cases[] = {{"01", 1},  {"00", 0},  {"1", 1},   {"0", 0},
                 {" 7 ", 7}, {"-2", -2}, {"2.5", 2}, {"3.5", 4}};
    for (const Case& c : cases) {
        set("Number", c.text, REG_DWORD);
        ASSERT_TRUE(stored("Number")) << c.text;
        EXPECT_EQ(stored("Number")->type, REG_DWORD);
        ASSERT_EQ(stored("Number")->data.size(), 4u);
        EXPECT_EQ(get("Number"), RegValue(c.expected)) << c.text;
    }
    store("Little", REG_DWORD, "\x01\x02\x00\x80"s);
    EXPECT_EQ(get("Little"), RegValue(std::int32_t(0x80000201u)));
}

TEST_F(Module2Test, TextThatIsNoNumberWritesNoDword) {
    store("Number", REG_DWORD, "\x05\0\0\0"s);
    for (const char* text : {"abc", "", "99999999999", "1e"}) {
        set("Number", text, REG_DWORD);
    }
    // "" is not a number either: an empty text box must not turn into 0.
    EXPECT_EQ(get("Number"), RegValue(std::int32_t(5)));
}

TEST_F(Module2Test, OtherTypesAreNeitherWrittenNorRead) {
    set("Odd", "x", 2);
    set("Odd", "x", 3);
    EXPECT_FALSE(stored("Odd"));

    store("Expand", REG_EXPAND_SZ, "%windir%\0"s);
    store("Binary", REG_BINARY, "\x01\x02");
    EXPECT_TRUE(regvalue::isEmpty(get("Expand")));
    EXPECT_TRUE(regvalue::isEmpty(get("Binary")));

    // A DWORD too long to fit its 4-byte buffer reads as Empty too.
    store("LongDword", REG_DWORD, "12345678");
    EXPECT_TRUE(regvalue::isEmpty(get("LongDword")));
}

TEST_F(Module2Test, MissingKeysAndValuesChangeNothing) {
    setvalue(catalogue::HKCU, "Software\\Nowhere", "Value", QString("x"), REG_SZ);
    EXPECT_FALSE(machine_.admin().findKey(regstore::Root::CurrentUser, "Software\\Nowhere"));
    EXPECT_TRUE(regvalue::isEmpty(getvalue(catalogue::HKCU, "Software\\Nowhere", "Value")));
    EXPECT_TRUE(regvalue::isEmpty(get("Missing")));

    // Deleting what is not there raises nothing and leaves the rest alone.
    store("Keep", REG_SZ, "kept");
    deletevalue(catalogue::HKCU, kKey, "Missing");
    deletevalue(catalogue::HKCU, "Software\\Nowhere", "Keep");
    EXPECT_EQ(stored("Keep")->data, "kept");
    deletevalue(catalogue::HKCU, kKey, "KEEP");
    EXPECT_FALSE(stored("Keep"));
}

TEST_F(Module2Test, ValueNamesKeepTheirFirstSpelling) {
    set("InfoTip", "one");
    set("Infotip", "two");
    std::vector<regstore::Value> all = machine_.admin().values(key_);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "InfoTip");
    EXPECT_EQ(all[0].data, "two");
}

TEST(Catalogue, RowFiveAddressesTheSameValueInEitherSpelling) {
    TempMachine machine;
    catalogue::set(catalogue::InfoTip5, QString("Your documents"));
    RegValue v =
        Module2::getvalue(catalogue::InfoTip5.root, catalogue::InfoTip5.keyPath, "InfoTip");
    EXPECT_EQ(v, RegValue(QString("Your documents")));
    Module2::setvalue(catalogue::InfoTip5.root, catalogue::InfoTip5.keyPath, "INFOTIP",
                      QString("Changed"), REG_SZ);
    EXPECT_EQ(catalogue::get(catalogue::InfoTip5), RegValue(QString("Changed")));
}

TEST(Catalogue, ClassesRootIsAViewOfLocalMachineClasses) {
    TempMachine machine;
    catalogue::set(catalogue::InfoTip1, QString("Through the classes root"));
    auto v = machine.value("HKLM\\Software\\Classes\\CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
                           "InfoTip");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data, "Through the classes root");

    // Row 2 goes through HKLM\Software\CLASSES; it reads back through HKCR.
    catalogue::set(catalogue::InfoTip2, QString("Network"));
    EXPECT_EQ(Module2::getvalue(catalogue::HKCR, "CLSID\\{208D2C60-3AEA-1069-A2D7-08002B30309D}",
                                "InfoTip"),
              RegValue(QString("Network")));
}

}  // namespace
