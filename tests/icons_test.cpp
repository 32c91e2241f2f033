// ExtractIconA and DrawIcon on icon files written for each test: the order
// of groups in a PE image, the result codes, every image storage form drawn
// pixel by pixel, the choice of image, and damaged files.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "graphics/dib.h"
#include "graphics/gdi.h"
#include "graphics/iconreader.h"
#include "graphics/icons.h"
#include "machine/machine.h"
#include "pewriter.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing_support::TempMachine;

const QRgb kBackground = qRgb(0, 128, 128);

// ---- building icon images -----------------------------------------------

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// An icon DIB. `pixel(x, y)` gives, for y counted from the top, a palette
// index (1 to 8 bits) or a colour 0xAARRGGBB (24 and 32 bits); `masked(x, y)`
// whether the AND mask leaves the pixel out.
template <typename Pixel, typename Masked>
Bytes makeDib(int w, int h, int bits, const std::vector<QRgb>& palette, Pixel pixel,
              Masked masked) {
    const std::size_t stride = (static_cast<std::size_t>(w) * bits + 31) / 32 * 4;
    const std::size_t maskStride = (static_cast<std::size_t>(w) + 31) / 32 * 4;
    const std::size_t bitsAt = 40 + palette.size() * 4;
    const std::size_t maskAt = bitsAt + stride * h;
    Bytes b(maskAt + maskStride * h, 0);
    put32(b, 0, 40);
    put32(b, 4, w);
    put32(b, 8, 2 * h);
    b[12] = 1;
    b[14] = static_cast<std::uint8_t>(bits);
    put32(b, 32, static_cast<std::uint32_t>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) put32(b, 40 + 4 * i, palette[i] & 0xFFFFFF);
    for (int y = 0; y < h; ++y) {
        const std::size_t row = bitsAt + (h - 1 - y) * stride;
        const std::size_t maskRow = maskAt + (h - 1 - y) * maskStride;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (bits <= 8) {
                const int bit = x * bits;
                b[row + bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
            } else {
                for (int i = 0; i < bits / 8; ++i)
                    b[row + x * bits / 8 + i] = static_cast<std::uint8_t>(v >> (8 * i));
            }
            if (masked(x, y)) b[maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return b;
}

auto opaque = [](int, int) { return false; };

// A square image of one colour, 24 bits, no mask.
pewriter::Image solid(int size, QRgb colour) {
    return {size, size, 24, 0,
            makeDib(
                size, size, 24, {}, [&](int, int) { return colour; }, opaque)};
}

pewriter::Image pngImage(const QImage& picture) {
    QByteArray data;
    QBuffer out(&data);
    out.open(QIODevice::WriteOnly);
    picture.save(&out, "PNG");
    return {picture.width(), picture.height(), 32, 0, Bytes(data.begin(), data.end())};
}

// ---- a machine with files ------------------------------------------------

class IconsTest : public ::testing::Test {
  protected:
    IconsTest() {
        fs::create_directories(machine::driveC() / "icons");
        canvas_.fill(kBackground);
        dc_ = gdi::createDC(&canvas_);
    }
    ~IconsTest() override { gdi::deleteDC(dc_); }

    // Writes C:\icons\<name> and gives its Windows path.
    std::string file(const std::string& name, const Bytes& bytes) {
        testing_support::writeFile(machine::driveC() / "icons" / name,
                                   std::string(bytes.begin(), bytes.end()));
        return "C:\\icons\\" + name;
    }
    static std::uintptr_t extract(const std::string& path, UINT index) {
        return reinterpret_cast<std::uintptr_t>(ExtractIconA(nullptr, path.c_str(), index));
    }
    // Draws the icon at (0, 0) on a fresh background; the canvas afterwards.
    const QImage& draw(const std::string& path, UINT index) {
        canvas_.fill(kBackground);
        HICON icon = ExtractIconA(nullptr, path.c_str(), index);
        EXPECT_GT(reinterpret_cast<std::uintptr_t>(icon), 1u) << path << " #" << index;
        EXPECT_TRUE(DrawIcon(dc_, 0, 0, icon));
        return canvas_;
    }
    QRgb centre(const std::string& path, UINT index) { return draw(path, index).pixel(16, 16); }

    TempMachine machine_{TempMachine::NoKeys};
    QImage canvas_{48, 48, QImage::Format_RGB32};
    HDC dc_ = nullptr;
};

// ---- finding the icon ----------------------------------------------------

TEST_F(IconsTest, GroupsCountInDirectoryOrderNamedFirstThenIdsAscending) {
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
               grey = qRgb(90, 90, 90), white = qRgb(255, 255, 255);
    // Given out of order; the directory holds APPLE, zebra, 5, 31, 200.
    const std::vector<pewriter::Group> groups = {
        {{}, 200, {solid(32, red)}},  {"zebra", 0, {solid(32, green)}},
        {{}, 5, {solid(32, blue)}},   {"APPLE", 0, {solid(32, grey)}},
        {{}, 31, {solid(32, white)}},
    };
    for (bool pe32Plus : {false, true}) {
        const std::string path =
            file(pe32Plus ? "b.dll" : "a.dll", pewriter::writePe(groups, {.pe32Plus = pe32Plus}));
        EXPECT_EQ(centre(path, 0), grey);
        EXPECT_EQ(centre(path, 1), green);
        EXPECT_EQ(centre(path, 2), blue);
        EXPECT_EQ(centre(path, 3), white);
        EXPECT_EQ(centre(path, 4), red);
        EXPECT_EQ(extract(path, 5), 0u);
        EXPECT_EQ(extract(path, 1000), 0u);
        EXPECT_EQ(extract(path, 0xFFFFFFFF), 5u);  // asks for the number of groups
    }
    // A directory stored out of order is read in its stored order.
    const std::string unsorted = file("c.dll", pewriter::writePe(groups, {.sortEntries = false}));
    EXPECT_EQ(centre(unsorted, 0), red);
    EXPECT_EQ(centre(unsorted, 1), green);
    EXPECT_EQ(centre(unsorted, 4), white);
}

TEST_F(IconsTest, ResultCodesForFilesWithoutIcons) {
    EXPECT_EQ(extract("C:\\icons\\missing.dll", 0), 0u);
    EXPECT_EQ(extract("C:\\icons", 0), 0u);         // a directory
    EXPECT_EQ(extract("D:\\anything.dll", 0), 0u);  // no such drive
    EXPECT_EQ(extract(file("notes.txt", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}), 0), 1u);
    EXPECT_EQ(extract(file("empty.dll", {}), 0), 1u);
    Bytes dos(256, 0);  // an MZ program that is no PE image
    dos[0] = 'M';
    dos[1] = 'Z';
    EXPECT_EQ(extract(file("dos.exe", dos), 0), 1u);
    // A PE image with no icon resources at all.
    EXPECT_EQ(extract(file("bare.dll", pewriter::writePe({})), 0), 0u);
    EXPECT_EQ(ExtractIconA(nullptr, nullptr, 0), nullptr);
}

// An .ico file holds index 0 only; its path is code-page text matched
// without regard to case ("Caf\xc3\xa9.ico" is UTF-8 on disk).
TEST_F(IconsTest, IcoFilesHoldIndexZeroOnlyAndPathsAreCodePageText) {
    file("Caf\xc3\xa9.ico", pewriter::writeIco({solid(32, qRgb(10, 20, 30))}));
    const std::string path = "c:\\ICONS\\caf\xe9.ICO";
    EXPECT_EQ(centre(path, 0), qRgb(10, 20, 30));
    EXPECT_EQ(extract(path, 1), 0u);
    EXPECT_EQ(extract(path, 0xFFFFFFFF), 1u);
}

TEST_F(IconsTest, HandlesAreDistinctAndLiveOn) {
    const std::string path =
        file("two.dll", pewriter::writePe({{{}, 1, {solid(32, qRgb(200, 0, 0))}},
                                           {{}, 2, {solid(32, qRgb(0, 0, 200))}}}));
    HICON a = ExtractIconA(nullptr, path.c_str(), 0);
    HICON b = ExtractIconA(nullptr, path.c_str(), 1);
    HICON again = ExtractIconA(nullptr, path.c_str(), 0);
    EXPECT_NE(a, b);
    EXPECT_NE(a, again);
    fs::remove(machine::driveC() / "icons" / "two.dll");  // the icons outlive their file
    ASSERT_TRUE(icons::image(a) && icons::image(b));
    EXPECT_EQ(icons::image(a)->pixel(5, 5), qRgb(200, 0, 0));
    EXPECT_EQ(icons::image(b)->pixel(5, 5), qRgb(0, 0, 200));
}

// ---- drawing ---------------------------------------------------------------

TEST_F(IconsTest, DrawsAtThePointClipsAtTheEdgesAndNothingWithoutAnIcon) {
    const QImage before = canvas_;
    for (std::uintptr_t h : {0u, 1u, 0x12345u})
        EXPECT_FALSE(DrawIcon(dc_, 0, 0, reinterpret_cast<HICON>(h)));
    EXPECT_EQ(canvas_, before);
    HICON icon = ExtractIconA(
        nullptr, file("y.ico", pewriter::writeIco({solid(32, qRgb(255, 255, 0))})).c_str(), 0);
    EXPECT_FALSE(DrawIcon(nullptr, 0, 0, icon));
    EXPECT_TRUE(DrawIcon(dc_, 10, 6, icon));
    EXPECT_EQ(canvas_.pixel(9, 6), kBackground);
    EXPECT_EQ(canvas_.pixel(10, 6), qRgb(255, 255, 0));
    EXPECT_EQ(canvas_.pixel(41, 37), qRgb(255, 255, 0));
    EXPECT_EQ(canvas_.pixel(42, 38), kBackground);
    canvas_.fill(kBackground);
    EXPECT_TRUE(DrawIcon(dc_, 40, -20, icon));  // mostly off the canvas
    EXPECT_EQ(canvas_.pixel(47, 0), qRgb(255, 255, 0));
    EXPECT_EQ(canvas_.pixel(39, 0), kBackground);
}

TEST(DibLayout, FourBitRowsRunBottomUpHighNibbleFirst) {
    // 2 x 2 pixels, 16-entry palette; stored rows: bottom row first.
    Bytes b(40 + 64 + 2 * 4 + 2 * 4, 0);
    put32(b, 0, 40);
    put32(b, 4, 2);
    put32(b, 8, 4);
    b[12] = 1;
    b[14] = 4;
    put32(b, 40 + 4 * 1, 0x00FF0000);  // 1: red (stored B, G, R)
    put32(b, 40 + 4 * 2, 0x0000FF00);  // 2: green
    put32(b, 40 + 4 * 3, 0x000000FF);  // 3: blue
    b[104] = 0x30;                     // bottom row: blue, black
    b[108] = 0x12;                     // top row: red, green
    b[112] = 0x40;                     // mask, bottom row: right pixel left out
    auto image = dib::decode(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->color.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image->color.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image->color.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(image->color.pixel(1, 1)), 0);
    EXPECT_TRUE(image->invert.isNull());
}

TEST_F(IconsTest, PalettedImagesDrawWithTheirMask) {
    std::vector<QRgb> sixteen(16, qRgb(0, 0, 0));
    sixteen[4] = qRgb(0, 0, 128);
    sixteen[14] = qRgb(0, 255, 255);
    // 4 bits: left half index 4, right half index 14, top rows masked out
    // (black under the mask, so that the screen shows through unchanged).
    Bytes four = makeDib(
        32, 32, 4, sixteen, [](int x, int y) { return y < 8    ? 0u
                                                      : x < 16 ? 4u
                                                               : 14u; },
        [](int, int y) { return y < 8; });
    // 8 bits with a short colour table: index 2 everywhere but a column of an
    // index past the table's end, which shows black.
    Bytes eight = makeDib(
        32, 32, 8, {qRgb(0, 0, 0), qRgb(2, 2, 2), qRgb(250, 100, 0)},
        [](int x, int) { return x >= 30   ? 0u
                                : x == 20 ? 200u
                                          : 2u; },
        [](int x, int) { return x >= 30; });
    const std::string path = file("pal.dll", pewriter::writePe({{{}, 1, {{32, 32, 4, 16, four}}},
                                                                {{}, 2, {{32, 32, 8, 0, eight}}}}));

    const QImage& a = draw(path, 0);
    EXPECT_EQ(a.pixel(3, 10), qRgb(0, 0, 128));
    EXPECT_EQ(a.pixel(20, 31), qRgb(0, 255, 255));
    EXPECT_EQ(a.pixel(3, 7), kBackground);
    EXPECT_EQ(a.pixel(20, 0), kBackground);
    const QImage& b = draw(path, 1);
    EXPECT_EQ(b.pixel(0, 0), qRgb(250, 100, 0));
    EXPECT_EQ(b.pixel(29, 31), qRgb(250, 100, 0));
    EXPECT_EQ(b.pixel(20, 5), qRgb(0, 0, 0));
    EXPECT_EQ(b.pixel(30, 5), kBackground);
}

TEST_F(IconsTest, MonochromeMaskedPixelsInvertTheScreen) {
    // Palette black and white; the mask leaves out the right half, where white
    // XOR pixels invert the background and black ones leave it alone.
    Bytes mono = makeDib(
        32, 32, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255)},
        [](int, int y) { return y < 16 ? 1u : 0u; }, [](int x, int) { return x >= 16; });
    const QImage& c = draw(file("mono.ico", pewriter::writeIco({{32, 32, 1, 2, mono}})), 0);
    EXPECT_EQ(c.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(c.pixel(2, 20), qRgb(0, 0, 0));
    EXPECT_EQ(c.pixel(20, 2), qRgb(255, 127, 127));  // teal inverted
    EXPECT_EQ(c.pixel(20, 20), kBackground);
}

TEST_F(IconsTest, TrueColourImagesDrawWithAlphaOrMask) {
    // 32 bits with alpha: the mask is ignored (it says all opaque); a
    // transparent column, a half-transparent one, the rest opaque.
    Bytes alpha = makeDib(
        32, 32, 32, {},
        [](int x, int) -> std::uint32_t {
            if (x < 4) return 0x00FF00FF;  // colour without alpha: not drawn
            if (x < 8) return 0x80FF0000;
            return 0xFF00FF00;
        },
        opaque);
    // 32 bits whose alpha is all zero are drawn through their mask.
    Bytes noAlpha = makeDib(
        32, 32, 32, {}, [](int x, int) { return x < 10 ? 0u : 0x00FFFF00u; },
        [](int x, int) { return x < 10; });
    Bytes rgb = makeDib(
        32, 32, 24, {}, [](int x, int y) { return y > 29   ? 0u
                                                  : x < 16 ? 0x123456u
                                                           : 0xABCDEFu; },
        [](int, int y) { return y > 29; });
    const std::string path = file("tc.dll", pewriter::writePe({{{}, 1, {{32, 32, 32, 0, alpha}}},
                                                               {{}, 2, {{32, 32, 32, 0, noAlpha}}},
                                                               {{}, 3, {{32, 32, 24, 0, rgb}}}}));
    const QImage& a = draw(path, 0);
    EXPECT_EQ(a.pixel(1, 1), kBackground);
    const QRgb half = a.pixel(5, 5);
    EXPECT_NEAR(qRed(half), 128, 2);
    EXPECT_NEAR(qGreen(half), 64, 2);
    EXPECT_NEAR(qBlue(half), 64, 2);
    EXPECT_EQ(a.pixel(20, 20), qRgb(0, 255, 0));
    const QImage& b = draw(path, 1);
    EXPECT_EQ(b.pixel(5, 5), kBackground);
    EXPECT_EQ(b.pixel(15, 5), qRgb(255, 255, 0));
    const QImage& c = draw(path, 2);
    EXPECT_EQ(c.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(c.pixel(31, 29), qRgb(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(c.pixel(31, 30), kBackground);
}

TEST_F(IconsTest, PngStoredImagesDrawWithAlpha) {
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x) picture.setPixel(x, y, qRgba(200, 40, 10, 255));
    const QImage& c = draw(file("png.dll", pewriter::writePe({{{}, 1, {pngImage(picture)}}})), 0);
    EXPECT_EQ(c.pixel(4, 4), kBackground);
    EXPECT_EQ(c.pixel(16, 16), qRgb(200, 40, 10));
    EXPECT_EQ(c.pixel(24, 24), kBackground);
}

TEST_F(IconsTest, ChoosesTheStandardSizeOrTheNearestLarger) {
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    std::vector<QRgb> sixteen(16, qRgb(0, 0, 0));
    sixteen[1] = qRgb(128, 0, 0);
    pewriter::Image fewColours{32, 32, 4, 16,
                               makeDib(
                                   32, 32, 4, sixteen, [](int, int) { return 1u; }, opaque)};
    Bytes damaged = solid(32, blue).bytes;
    damaged.resize(damaged.size() / 2);
    const std::string path = file(
        "sizes.dll", pewriter::writePe({
                         {{}, 1, {solid(16, red), fewColours, solid(32, green), solid(48, blue)}},
                         {{}, 2, {solid(16, red), solid(48, green), solid(64, blue)}},
                         {{}, 3, {solid(16, red)}},
                         {{}, 4, {{32, 32, 24, 0, damaged}, solid(16, green)}},
                     }));
    EXPECT_EQ(centre(path, 0), green);    // 32 x 32 with the most colours
    EXPECT_EQ(centre(path, 1), green);    // the nearest size, scaled down
    const QImage& small = draw(path, 2);  // scaled up to fill 32 x 32
    EXPECT_EQ(small.pixel(0, 0), red);
    EXPECT_EQ(small.pixel(31, 31), red);
    EXPECT_EQ(small.pixel(32, 32), kBackground);
    EXPECT_EQ(centre(path, 3), green);  // the damaged image is passed over
}

// ---- damaged files -----------------------------------------------------------

TEST_F(IconsTest, TruncatedOrCorruptedImagesGiveNoIconOrNotIconFile) {
    const Bytes good =
        pewriter::writePe({{"NAMED", 0, {solid(16, qRgb(9, 9, 9)), solid(32, qRgb(9, 9, 9))}},
                           {{}, 7, {solid(32, qRgb(8, 8, 8))}}});
    const std::size_t lfanew = good[0x3C];
    const std::size_t opt = lfanew + 24;
    const std::size_t section = opt + 224;
    auto check = [&](const Bytes& bytes, const std::string& what) {
        std::uintptr_t h = extract(file("bad.dll", bytes), 0);
        EXPECT_LE(h, 1u) << what;
        // The count never exceeds what the file can hold.
        EXPECT_LE(extract("C:\\icons\\bad.dll", 0xFFFFFFFF), 2u) << what;
    };
    // Cut anywhere before the group data at the end of the file.
    for (std::size_t n = 0; n < 0x400; n += 7)
        check(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)),
              "cut at " + std::to_string(n));
    auto patched = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        put32(b, at, v);
        return b;
    };
    check(patched(0x3C, 0xFFFFFFF0), "PE offset past the end");
    check(patched(lfanew + 4, 0xFFFF0000 | 0x14C), "sixty-five thousand sections");
    check(patched(opt, 0x0333), "unknown optional header");
    check(patched(opt + 92, 2), "no resource directory slot");
    check(patched(opt + 96 + 16, 0x7FFFFFFF), "resource directory outside every section");
    check(patched(section + 20, 0xFFFFFFF0), "section data past the end");
    check(patched(0x200 + 12, 0xFFFFFFFF), "root directory counts huge");
    check(patched(0x200 + 16 + 12, 0x80000000), "type directory pointing back at the root");
    check(patched(0x200 + 16 + 12, 0x8FFFFFF0), "type directory far away");

    // A data entry (of the group or of its one image) whose size reaches
    // past the section, or whose address lies outside it.
    const Bytes single = pewriter::writePe({{{}, 1, {solid(32, qRgb(7, 7, 7))}}});
    int entries = 0;
    for (std::size_t at = 0x200; at + 8 <= 0x300; at += 4) {
        // Data entries are the only places holding an RVA into the section.
        auto field = [&](std::size_t f) {
            return std::uint32_t{single[f]} | single[f + 1] << 8 | single[f + 2] << 16 |
                   single[f + 3] << 24;
        };
        if (field(at) <= 0x1000 || field(at) >= 0x1000 + single.size() || field(at + 4) == 0)
            continue;
        ++entries;
        for (auto [offset, value] :
             {std::pair{4, 0xFFFFFFFFu}, {4, 0x1000u}, {0, 0xFFFFFF00u}, {0, 0x10u}}) {
            Bytes b = single;
            put32(b, at + offset, value);
            EXPECT_EQ(extract(file("bad.dll", b), 0), 0u)
                << "data entry at " << at << "+" << offset;
        }
    }
    EXPECT_EQ(entries, 2);
    const iconreader::Lookup found = iconreader::find(good, 0);
    ASSERT_EQ(found.status, iconreader::Status::Found);
    ASSERT_EQ(found.images.size(), 2u);
    // Every image of the group bad: the group yields nothing.
    Bytes images = good;
    for (const iconreader::Image& image : found.images) {
        const std::size_t at = static_cast<std::size_t>(image.bytes.data() - good.data());
        put32(images, at + 4, 100000);  // width beyond the limit
    }
    check(images, "every image of the group too wide");
}

// ---- the machine's own icon files ----------------------------------------------

TEST(MachineIconFiles, HoldTheShellIconsAtTheirIndexes) {
    TempMachine machine(TempMachine::NoKeys);
    fs::copy(KNOBWISE_DRIVE_C_TEMPLATE, machine::driveC(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const std::pair<const char*, UINT> rows[] = {
        {"c:\\windows\\explorer.exe", 0},       {"c:\\windows\\system\\shell32.dll", 17},
        {"c:\\windows\\SYSTEM\\syncui.dll", 0}, {"c:\\windows\\system\\mshtml.dll", 0},
        {"c:\\windows\\system\\mydocs.dll", 0}, {"c:\\windows\\system\\shell32.dll", 31},
    };
    std::vector<QImage> drawn;
    for (auto [path, index] : rows) {
        HICON icon = ExtractIconA(nullptr, path, index);
        ASSERT_GT(reinterpret_cast<std::uintptr_t>(icon), 1u) << path;
        drawn.push_back(*icons::image(icon));
        // Neither empty nor a filled square: transparent around, drawn within.
        int shown = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) shown += qAlpha(drawn.back().pixel(x, y)) > 128;
        EXPECT_GT(shown, 150) << path;
        EXPECT_LT(shown, 1000) << path;
    }
    for (std::size_t i = 0; i < drawn.size(); ++i)
        for (std::size_t j = i + 1; j < drawn.size(); ++j)
            EXPECT_NE(drawn[i], drawn[j]) << i << " " << j;

    EXPECT_GE(reinterpret_cast<std::uintptr_t>(
                  ExtractIconA(nullptr, "c:\\windows\\system\\shell32.dll", 0xFFFFFFFF)),
              32u);
    // Every group of every file holds a 16 x 16 and a 32 x 32 image.
    for (const char* name : {"explorer.exe", "SYSTEM/shell32.dll", "SYSTEM/syncui.dll",
                             "SYSTEM/mshtml.dll", "SYSTEM/mydocs.dll"}) {
        std::ifstream in(machine::driveC() / "WINDOWS" / name, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), {});
        const int groups = iconreader::count(bytes);
        ASSERT_GE(groups, 1) << name;
        for (int g = 0; g < groups; ++g) {
            std::vector<int> sizes;
            for (const iconreader::Image& image : iconreader::find(bytes, g).images)
                sizes.push_back(image.width);
            std::sort(sizes.begin(), sizes.end());
            EXPECT_EQ(sizes, (std::vector<int>{16, 32})) << name << " #" << g;
        }
    }
}

}  // namespace
