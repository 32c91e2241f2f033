// The folder icons of the "Info Tips" page, drawn from the machine's files.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "graphics/gdi.h"
#include "graphics/icons.h"
#include "machine/machine.h"
#include "pewriter.h"
#include "support/temp_machine.h"
#include "window/Module1.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

const QImage* iconOf(const char* path, UINT index) {
    return icons::image(ExtractIconA(nullptr, path, index));
}

// How many pixels of `area` differ from the box's background colour.
int drawnPixels(const QImage& image, const QRect& area) {
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    int drawn = 0;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            drawn += image.pixel(x, y) != background;
        }
    }
    return drawn;
}

class WindowIcons : public ::testing::Test, public WindowTest {
  protected:
    WindowIcons() {
        fs::copy(KNOBWISE_DRIVE_C_TEMPLATE, machine::driveC(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    std::array<PictureBox*, 6> boxes(Form1& f) {
        return {f.Picture1, f.Picture2, f.Picture3, f.Picture4, f.Picture5, f.Picture6};
    }
    std::array<PictureBox*, 6> boxes() { return boxes(*form); }
};

// Each box shows its own row's icon: the one drawn the same way, at (0, 0)
// on the box's background, from the row's file and index.
TEST_F(WindowIcons, EachBoxShowsItsRowsIconInItsTopLeftCorner) {
    Form1& f = load();
    const std::pair<const char*, UINT> rows[] = {
        {"c:\\windows\\explorer.exe", 0},       {"c:\\windows\\system\\shell32.dll", 17},
        {"c:\\windows\\SYSTEM\\syncui.dll", 0}, {"c:\\windows\\system\\mshtml.dll", 0},
        {"c:\\windows\\system\\mydocs.dll", 0}, {"c:\\windows\\system\\shell32.dll", 31}};
    std::vector<QImage> expected;
    for (size_t row = 0; row < 6; ++row) {
        const QImage& image = boxes()[row]->image();
        ASSERT_GT(image.width(), 32);
        QImage drawn(32, 32, image.format());
        drawn.fill(image.pixel(image.width() - 1, image.height() - 1));
        HDC dc = gdi::createDC(&drawn);
        ASSERT_TRUE(DrawIcon(dc, 0, 0, ExtractIconA(nullptr, rows[row].first, rows[row].second)));
        gdi::deleteDC(dc);
        EXPECT_EQ(image.copy(0, 0, 32, 32), drawn) << "row " << row + 1;
        // Nothing beside or below the icon: it is not centred.
        EXPECT_EQ(drawnPixels(image, QRect(32, 0, image.width() - 32, image.height())), 0);
        EXPECT_EQ(drawnPixels(image, QRect(0, 32, 32, image.height() - 32)), 0);
        // Six different icons, so that no two rows can swap unseen.
        for (const QImage& other : expected) EXPECT_NE(drawn, other) << "row " << row + 1;
        expected.push_back(drawn);
    }
    EXPECT_EQ(f.iconfile2, f.iconfile6);
    EXPECT_EQ(f.iconfile3.toString(), "c:\\windows\\SYSTEM\\syncui.dll");
    // The program-wide handle ends with row 6's icon.
    const QImage* last = icons::image(reinterpret_cast<HICON>(
        static_cast<std::uintptr_t>(static_cast<std::uint32_t>(Module1::iconhandle.toInt()))));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(*last, *iconOf("c:\\windows\\system\\shell32.dll", 31));
    EXPECT_TRUE(f.Picture1->AutoSize());
    EXPECT_TRUE(f.Picture1->AutoRedraw());
    // Picture1 keeps its designed size: nothing is assigned to its picture.
    EXPECT_EQ(f.Picture1->size(), f.Picture2->size());
}

TEST_F(WindowIcons, AMissingFileLeavesOnlyItsBoxBlank) {
    fs::remove(machine::driveC() / "WINDOWS" / "SYSTEM" / "syncui.dll");
    Form1& f = load();
    EXPECT_EQ(drawnPixels(f.Picture3->image(), f.Picture3->image().rect()), 0);
    for (PictureBox* box : {f.Picture1, f.Picture2, f.Picture4, f.Picture5, f.Picture6}) {
        EXPECT_GT(drawnPixels(box->image(), QRect(0, 0, 32, 32)), 100);
    }
    EXPECT_TRUE(seams->messages.empty());
    // Loading went on with the info tips and the switch after the icons.
    EXPECT_EQ(f.Picture3->ToolTipText(), f.Text3->Text());
}

TEST_F(WindowIcons, IconsSurviveRepainting) {
    Form1& f = load();
    f.show();
    for (PictureBox* box : boxes()) {
        box->hide();
        box->show();
        // What the screen shows comes from the persistent image.
        QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect inside = box->contentsRect();
        QImage expected = box->image().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.copy(inside.x(), inside.y(), expected.width(), expected.height()), expected)
            << box->objectName().toStdString();
    }
}

// A Wine prefix has none of these files, or files of these names without
// the icons asked for (Wine's explorer.exe is a PE with no icons at all):
// each such row's icon comes from the file the program ships for its own
// machine, and an icon the prefix's file has is used as it is. Nothing is
// written into the prefix.
TEST_F(WindowIcons, OnAWinePrefixIconsItLacksAreDrawnFromTheShippedFiles) {
    std::vector<QImage> embedded;
    for (PictureBox* box : boxes(load())) embedded.push_back(box->image());

    const fs::path prefix = testing_support::makeTempDir("knobwise-icons-");
    testing_support::writeFile(prefix / "system.reg", "WINE REGISTRY Version 2\n");
    testing_support::writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n");
    const fs::path windows = prefix / "drive_c" / "windows";
    fs::create_directories(windows / "system");
    const auto writePe = [](const fs::path& file, const std::vector<pewriter::Group>& groups) {
        const std::vector<std::uint8_t> pe = pewriter::writePe(groups, {.dll = false});
        testing_support::writeFile(file, std::string(pe.begin(), pe.end()));
    };
    writePe(windows / "explorer.exe", {});
    // One icon group: shell32.dll's indexes 17 and 31 are not there.
    writePe(windows / "system" / "shell32.dll", {{"", 1, {{32, 32, 32, 0, {}}}}});
    fs::copy_file(machine::driveC() / "WINDOWS" / "SYSTEM" / "syncui.dll",
                  windows / "system" / "mshtml.dll");
    const std::string before = testing_support::readFile(windows / "explorer.exe");
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    machine::select(machine::Machine::winePrefix(prefix));
    form.reset();
    const std::array<PictureBox*, 6> onPrefix = boxes(load());
    for (size_t row = 0; row < 6; ++row) {
        // The prefix's own mshtml.dll (a copy of syncui.dll) on row 4.
        EXPECT_EQ(onPrefix[row]->image(), embedded[row == 3 ? 2 : row]) << "row " << row + 1;
        EXPECT_GT(drawnPixels(onPrefix[row]->image(), QRect(0, 0, 32, 32)), 100);
    }
    EXPECT_EQ(testing_support::readFile(windows / "explorer.exe"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(windows / "system"), {}), 2);

    machine::select(machine::Machine::embedded());
    fs::remove_all(prefix);
}

}  // namespace
