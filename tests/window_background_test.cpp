// The background bitmap and the Hearts button: what a choice, a cancel and a
// file that is no usable picture leave in the window and, after Apply, in
// the registry; and the Hearts value written at once.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <optional>

#include "machine/machine.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

class WindowBackground : public ::testing::Test, public WindowTest {
  protected:
    WindowBackground() {
        pics_ = ::machine::driveC() / "Pics";
        fs::create_directories(pics_);
        CommonDialog::setChooser([this](const QString& description, const QString& pattern) {
            offered_.push_back({description, pattern});
            std::optional<QString> answer = std::move(answer_);
            answer_.reset();
            return answer;
        });
    }
    ~WindowBackground() override { CommonDialog::setChooser({}); }

    // A bitmap of that size in C:\Pics; returns its host path.
    fs::path bitmap(const char* name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        fs::path path = pics_ / name;
        EXPECT_TRUE(image.save(QString::fromStdString(path.string()), "BMP"));
        return path;
    }
    // The next dialog chooses this file (a host path); without, it is cancelled.
    void choose(const fs::path& file) { answer_ = QString::fromStdString(file.string()); }

    std::string backBitmap() {
        auto v = stored(machine, catalogue::BackBitmap);
        return v ? v->data : "<missing>";
    }

    fs::path pics_;
    std::optional<QString> answer_;
    std::vector<std::pair<QString, QString>> offered_;
};

TEST_F(WindowBackground, AChosenBitmapIsShownMarkedAndSavedOnlyByApply) {
    Form1& f = load();
    choose(bitmap("sky.bmp", 40, 30));
    f.Command6->click();

    ASSERT_EQ(offered_.size(), 1u);
    EXPECT_EQ(offered_[0].first, "Compatable Backgrounds");
    EXPECT_EQ(offered_[0].second, "*.bmp");
    EXPECT_EQ(f.CommonDialog1.FileName(), "C:\\Pics\\sky.bmp");
    EXPECT_EQ(f.Image6->Picture().size(), QSize(40, 30));
    EXPECT_EQ(f.Image6->Tag(), "dirty");
    EXPECT_EQ(f.Check6->Value(), 1);
    EXPECT_EQ(backBitmap(), "<missing>");
    EXPECT_TRUE(seams->messages.empty());

    f.Command1->click();
    EXPECT_EQ(backBitmap(), "C:\\Pics\\sky.bmp");
}

TEST_F(WindowBackground, ACancelBeforeAnyChoiceChangesNothing) {
    bitmap("old.bmp", 8, 8);
    storeText(machine, catalogue::BackBitmap, "C:\\Pics\\old.bmp");
    Form1& f = load();
    ASSERT_EQ(f.Check6->Value(), 1);
    const QImage shown = f.Image6->Picture();

    f.Command6->click();  // cancelled
    EXPECT_EQ(offered_.size(), 1u);
    EXPECT_EQ(f.CommonDialog1.FileName(), "");
    EXPECT_EQ(f.Image6->Picture(), shown);
    EXPECT_EQ(f.Image6->Tag(), "");
    EXPECT_EQ(f.Check6->Value(), 1);
    // Unmarked, so Apply leaves the value alone.
    f.Command1->click();
    EXPECT_EQ(backBitmap(), "C:\\Pics\\old.bmp");
}

TEST_F(WindowBackground, ACancelAfterAChoiceShowsAndTicksTheEarlierChoiceAgain) {
    Form1& f = load();
    const fs::path file = bitmap("sky.bmp", 40, 30);
    choose(file);
    f.Command6->click();
    f.Check6->setValue(0);
    // The file changed on disk in between: it is read again.
    bitmap("sky.bmp", 12, 10);

    f.Command6->click();  // cancelled
    EXPECT_EQ(f.CommonDialog1.FileName(), "C:\\Pics\\sky.bmp");
    EXPECT_EQ(f.Image6->Picture().size(), QSize(12, 10));
    EXPECT_EQ(f.Image6->Tag(), "dirty");
    EXPECT_EQ(f.Check6->Value(), 1);
    f.Command1->click();
    EXPECT_EQ(backBitmap(), "C:\\Pics\\sky.bmp");
}

// A file that cannot be shown is reported by name, and the window stays as
// it was: the picture, its mark, the box and the file Apply would save.
TEST_F(WindowBackground, AFileThatIsNoUsablePictureIsReportedAndChangesNothing) {
    // (Pictures too large to decode are the hostile-input tests' business.)
    testing_support::writeFile(pics_ / "text.bmp", "this is no bitmap");
    const fs::path gone = pics_ / "gone.bmp";
    const fs::path directory = pics_ / "folder.bmp";
    fs::create_directory(directory);

    Form1& f = load();
    choose(bitmap("good.bmp", 20, 10));
    f.Command6->click();
    f.Check6->setValue(0);
    const QImage shown = f.Image6->Picture();

    for (const fs::path& bad : {pics_ / "text.bmp", gone, directory}) {
        seams->messages.clear();
        choose(bad);
        f.Command6->click();
        const std::string name = bad.filename().string();
        ASSERT_EQ(seams->messages.size(), 1u) << name;
        EXPECT_EQ(seams->messages[0].title, "Knobwise");
        EXPECT_TRUE(seams->messages[0].prompt.contains(QStringLiteral("C:\\Pics\\") +
                                                       QString::fromStdString(name)))
            << seams->messages[0].prompt.toStdString();
        EXPECT_EQ(f.Image6->Picture(), shown) << name;
        EXPECT_EQ(f.Check6->Value(), 0) << name;
        EXPECT_EQ(f.CommonDialog1.FileName(), "C:\\Pics\\good.bmp") << name;
    }
    // The last of them, a folder, is told as one.
    EXPECT_TRUE(seams->messages.back().prompt.contains(QStringLiteral("is a folder")));

    f.Check6->setValue(1);
    f.Command1->click();
    EXPECT_EQ(backBitmap(), "C:\\Pics\\good.bmp");
}

TEST_F(WindowBackground, HeartsIsWrittenAtOnceAsOneTwoCharacterStringAndSurvivesCancel) {
    Form1& f = load();
    f.Command7->click();
    f.Command7->click();
    const regstore::KeyId key = keyOf(machine, catalogue::HeartsZB);
    std::vector<regstore::Value> values = machine.admin().values(key);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "ZB");
    EXPECT_EQ(values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(values[0].data, "86");

    f.Command8->click();
    EXPECT_EQ(seams->ends, 1);
    ASSERT_TRUE(stored(machine, catalogue::HeartsZB));
    EXPECT_EQ(stored(machine, catalogue::HeartsZB)->data, "86");
    EXPECT_TRUE(seams->messages.empty());
}

TEST_F(WindowBackground, HeartsWithoutItsKeyWritesNothingAndSaysWhy) {
    machine.admin().deleteKey(keyOf(machine, catalogue::HeartsZB));
    Form1& f = load();
    f.Command7->click();
    EXPECT_FALSE(machine.admin().findKey(regstore::Root::CurrentUser, catalogue::HeartsZB.keyPath));
    ASSERT_EQ(seams->messages.size(), 1u);
    EXPECT_TRUE(seams->messages[0].prompt.contains("Enable Cheating at Hearts"));
    EXPECT_TRUE(seams->messages[0].prompt.contains("does not exist"));
}

}  // namespace
