// Wine's registry file format: every value form and escape read, what we
// write read back the same, Wine's own layout where we write it, and
// damaged files refused at their line.
#include <gtest/gtest.h>

#include "wineprefix/wine_format.h"

using namespace std::string_literals;

namespace {

constexpr const char* kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";

std::string utf16(std::u16string_view s, bool nul = true) {
    std::string out;
    for (char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    if (nul) out.append(2, '\0');
    return out;
}

// The one value of a one-key file holding `line`.
wine_format::Item valueOf(const std::string& line) {
    const std::string text = kHeader + "[K] 1\n"s + line + "\n";
    wine_format::Layout layout = wine_format::parse(text);
    std::vector<wine_format::Item> items = wine_format::body(text, layout.sections.at(0));
    EXPECT_EQ(items.size(), 1u) << line;
    return items.at(0);
}

TEST(WineFile, EveryValueFormAndEscapeIsRead) {
    struct Case {
        std::string line;
        std::string name;
        DWORD type;
        std::string data;
    } cases[] = {
        {R"("a"="plain")", "a", REG_SZ, utf16(u"plain")},
        {R"(@="")", "", REG_SZ, utf16(u"")},
        {R"("b"=str:"old form")", "b", REG_SZ, utf16(u"old form")},
        {R"("c"=str(2):"%PATH%")", "c", REG_EXPAND_SZ, utf16(u"%PATH%")},
        {R"("d"=str(7):"one\0two\0")", "d", REG_MULTI_SZ, utf16(u"one\0two\0"s)},
        {R"("e"=dword:0000002a)", "e", REG_DWORD, "\x2a\0\0\0"s},
        {R"("f"=hex:01,ff)", "f", REG_BINARY, "\x01\xff"s},
        {"\"g\"=hex(1):61,00,\\\n  62,00", "g", REG_SZ, utf16(u"ab", false)},
        {R"("h"=hex(ffff0007):)", "h", 0xffff0007u, ""},
        {R"("q\"\\x"="\\ \" \n\r\t")", "q\"\\x", REG_SZ, utf16(u"\\ \" \n\r\t")},
        {R"("o"="\1\037\0012")", "o", REG_SZ,
         utf16(u"\x01\x1f\x01"
               u"2")},
        // A hex escape takes at most four digits.
        {R"("n\xe9"="\x20ac\x00e9abc")", "n\xc3\xa9", REG_SZ,
         utf16(u"\u20ac\u00e9"
               u"abc")},
        {"\"s\"=\"\\xd83d\\xde00 caf\xc3\xa9\"", "s", REG_SZ, utf16(u"\U0001F600 caf\u00e9")},
        {R"("lone"="\xd83d!")", "lone", REG_SZ, utf16(u"\xd83d!")},
    };
    for (const Case& c : cases) {
        wine_format::Item item = valueOf(c.line);
        EXPECT_EQ(item.name, c.name) << c.line;
        EXPECT_EQ(item.type, c.type) << c.line;
        EXPECT_EQ(item.data, c.data) << c.line;
    }
    // Key lines escape [ and ] but not quotes.
    const std::string text = kHeader + "[A\\\\\\[b\\]\"c\\xe9] 1796659831\n#time=1dd8665\n"s;
    std::string path;
    wine_format::pathOf(text, wine_format::parse(text).sections.at(0), path);
    EXPECT_EQ(path, "A\\[b]\"c\xc3\xa9");
}

TEST(WineFile, WhatIsWrittenReadsBackAsItWas) {
    struct Case {
        std::string name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"plain", REG_SZ, utf16(u"text")},
        {"", REG_SZ, utf16(u"")},
        {"no terminator", REG_SZ, utf16(u"abc", false)},
        {"nothing", REG_SZ, ""},
        {"odd", REG_SZ, "abc"},
        {"two NULs", REG_SZ, utf16(u"a\0"s)},
        {"expand", REG_EXPAND_SZ, utf16(u"%SystemRoot%")},
        {"multi", REG_MULTI_SZ, utf16(u"x\0y\0"s)},
        {"controls \x01\n\"\\", REG_SZ,
         utf16(u"\x01"
               u"7\x1f\x7f\r\n\t\\\"[]")},
        {"caf\xc3\xa9 \xe2\x82\xac", REG_SZ,
         utf16(u"\u00e9"
               u"a \u4e2d"
               u"f \xd800 \xdc00")},
        {"dword", REG_DWORD, "\x78\x56\x34\x12"s},
        {"short dword", REG_DWORD, "\x01\x02"s},
        {"binary", REG_BINARY, std::string(100, '\xab')},
        {"odd type", 0x12345, "xy"},
    };
    for (const Case& c : cases) {
        const std::string line =
            wine_format::valueText(wine_format::nameText(c.name), c.type, c.data, "\n");
        wine_format::Item item = valueOf(line.substr(0, line.size() - 1));
        EXPECT_EQ(item.name, c.name) << line;
        EXPECT_EQ(item.type, c.type) << line;
        EXPECT_EQ(item.data, c.data) << line;
    }
}

TEST(WineFile, ValuesAreWrittenAsWineWritesThem) {
    // As Wine 8 wrote these values of a test program of ours.
    struct Case {
        std::string name;
        DWORD type;
        std::string data;
        std::string line;
    } cases[] = {
        {"sz", REG_SZ, utf16(u"abc"), "\"sz\"=\"abc\""},
        {"sz_noterm", REG_SZ, utf16(u"abc", false), "\"sz_noterm\"=hex(1):61,00,62,00,63,00"},
        {"sz_empty0", REG_SZ, "", "\"sz_empty0\"=hex(1):"},
        {"sz_hexafter", REG_SZ,
         utf16(u"\u00e9"
               u"abc"),
         "\"sz_hexafter\"=\"\\x00e9abc\""},
        {"digits", REG_SZ,
         utf16(u"\x7f"
               u"1\x01"
               u"2\n3",
               false) +
             utf16(u""),
         "\"digits\"=\"\x7f"
         "1\\0012\\n3\""},
        {"exp", REG_EXPAND_SZ, utf16(u"%PATH%"), "\"exp\"=str(2):\"%PATH%\""},
        {"dw", REG_DWORD, "\xef\xbe\xad\xde"s, "\"dw\"=dword:deadbeef"},
        {"dw3", REG_DWORD, "\xef\xbe\xad"s, "\"dw3\"=hex(4):ef,be,ad"},
        {"none", REG_NONE, "", "\"none\"=hex(0):"},
        {"big2", REG_BINARY, "01234567890123456789012",
         "\"big2\"=hex:30,31,32,33,34,35,36,37,38,39,30,31,32,33,34,35,36,37,38,39,30,31,\\\n  32"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wine_format::valueText(wine_format::nameText(c.name), c.type, c.data, "\n"),
                  c.line + "\n");
    }
    EXPECT_EQ(wine_format::pathText("Software\\K\xc3\xa9y\t[x]=\"q\""),
              "Software\\\\K\\xe9y\\t\\[x\\]=\"q\"");
}

TEST(WineFile, DamagedFilesAreRefusedAtTheirLine) {
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"REGEDIT4\n", 1},
        {kHeader + "junk\n"s, 4},
        {kHeader + "[Unclosed\n"s, 4},
        {kHeader + "[K] 12 trailing\n"s, 4},
        {kHeader + "[K] 1\n\"v\"=\"no end\n"s, 5},
        {kHeader + "[K] 1\n\"v\"=hex:0g\n"s, 5},
        {kHeader + "[K] 1\n\"v\"=hex:01,\\\n  02,\\\n"s, 6},
        {kHeader + "[K] 1\n\"v\"=dword:123456789\n"s, 5},
        {kHeader + "[K] 1\n\"v\"=qword:1\n"s, 5},
        {kHeader + "[K] 1\nnot a value\n"s, 5},
        {kHeader + "[K] 1\n\"v\"=\"bad \xff UTF-8\"\n"s, 5},
    };
    for (const Case& c : cases) {
        try {
            wine_format::parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const wine_format::ParseError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text << e.what();
        }
    }
}

}  // namespace
