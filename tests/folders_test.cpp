// The "Create as file" buttons and the folder picker: which folder each
// button makes and where, what Cancel and the title-bar close leave behind,
// and what a failed creation tells the user.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <set>

#include "folders/Dialog.h"
#include "machine/machine.h"
#include "support/as_nobody.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

const char* const kControl = "Control Panel.{21EC2020-3AEA-1069-A2DD-08002B30309D}";
const char* const kDial = "DUN.{992CFFA0-F557-101A-88EC-00DD010CCC48}";
const char* const kRec = "Recycle Bin.{645FF040-5081-101B-9F08-00AA002F954E}";
const char* const kNet = "Network Neighborhood.{208D2C60-3AEA-1069-A2D7-08002B30309D}";

// Counts the close events a window receives: each is one unloading.
class CloseCounter : public QObject {
  public:
    int closes = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) ++closes;
        return false;
    }
};

// What the user does in one showing of the dialog.
using Play = std::function<void(Dialog&)>;

class Folders : public ::testing::Test, public WindowTest {
  protected:
    Folders() {
        Form::setModalHandler([this](Form& form) {
            auto* dialog = qobject_cast<Dialog*>(&form);
            ASSERT_NE(dialog, nullptr);
            ASSERT_FALSE(plays_.empty()) << "the dialog was shown once too often";
            Play play = std::move(plays_.front());
            plays_.pop_front();
            CloseCounter counter;
            dialog->installEventFilter(&counter);
            shown_.push_back(
                {dialog, dialog->Tag(), dialog->parentWidget() == nullptr, dialog->Dir1->Path()});
            play(*dialog);
            dialog->removeEventFilter(&counter);
            closes_.push_back(counter.closes);
        });
        load();
    }
    ~Folders() override { Form::setModalHandler({}); }
    static fs::path driveC() {
        fs::create_directories(::machine::driveC() / "WINDOWS" / "Desktop");
        return ::machine::driveC();
    }

    // The user picks `folder` (a Windows path) and presses OK.
    static Play okIn(const QString& folder) {
        return [folder](Dialog& d) {
            ASSERT_TRUE(d.Dir1->setPath(folder)) << folder.toStdString();
            d.OKButton->click();
        };
    }
    // Everything below drive C, as relative paths.
    std::set<std::string> tree() const {
        std::set<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(c_))
            out.insert(fs::relative(e.path(), c_).string());
        return out;
    }
    std::set<std::string> entries(const fs::path& dir) const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }

    struct Shown {
        Dialog* dialog;
        QString tag;
        bool ownerless;
        QString startPath;
    };
    fs::path c_ = driveC();
    testing_support::CurrentDirectory cwd_{c_ / "WINDOWS"};
    std::deque<Play> plays_;
    std::vector<Shown> shown_;
    std::vector<int> closes_;
};

TEST_F(Folders, EachButtonMakesOnlyItsOwnFolderEvenAfterAnother) {
    struct Case {
        CommandButton* button;
        const char* tag;
        const char* name;
        const char* folder;
    };
    const std::vector<Case> cases = {{form->Command4, "rec", kRec, "Four"},
                                     {form->Command2, "control", kControl, "Two"},
                                     {form->Command5, "net", kNet, "Five"},
                                     {form->Command3, "dial", kDial, "Three"}};
    for (const Case& c : cases) {
        fs::create_directory(c_ / c.folder);
        plays_.push_back(okIn(QStringLiteral("C:\\") + QString::fromLatin1(c.folder)));
        c.button->click();
        EXPECT_EQ(entries(c_ / c.folder), std::set<std::string>{c.name}) << c.tag;
        EXPECT_TRUE(fs::is_directory(c_ / c.folder / c.name));
        EXPECT_TRUE(fs::is_empty(c_ / c.folder / c.name));
    }
    ASSERT_EQ(shown_.size(), 4u);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(shown_[i].tag, cases[i].tag);
        EXPECT_TRUE(shown_[i].ownerless);
        // A fresh dialog each time, starting where the process is, not
        // where the last one was left.
        EXPECT_EQ(shown_[i].startPath, "C:\\WINDOWS");
        EXPECT_EQ(closes_[i], 1);
    }
    EXPECT_TRUE(seams->messages.empty());
}

TEST_F(Folders, OneBackslashBetweenTheFolderAndTheName) {
    plays_.push_back(okIn(QStringLiteral("C:\\")));
    form->Command3->click();
    EXPECT_TRUE(fs::is_directory(c_ / kDial));

    plays_.push_back(okIn(QStringLiteral("c:\\windows\\DESKTOP")));
    form->Command4->click();
    EXPECT_EQ(entries(c_ / "WINDOWS" / "Desktop"), std::set<std::string>{kRec});

    // Z:\ is the host's root, which only root may write: OK is pressed as
    // "nobody", so that the test never writes there, and the failure
    // message shows where the folder was to be made.
    plays_.push_back([this](Dialog& d) {
        ASSERT_TRUE(d.Dir1->setPath(QStringLiteral("Z:\\")));
        EXPECT_EQ(d.Dir1->Path(), "Z:\\");
        testing_support::asNobody([&] {
            d.OKButton->click();
            ASSERT_EQ(seams->messages.size(), 1u);
            EXPECT_TRUE(seams->messages[0].prompt.contains(QStringLiteral("\nZ:\\") + kNet + "\n"))
                << seams->messages[0].prompt.toStdString();
        });
        d.CancelButton->click();
    });
    form->Command5->click();
    EXPECT_FALSE(fs::exists(fs::path("/") / kNet));
}

TEST_F(Folders, OkWithoutMovingMakesTheFolderInTheCurrentDirectory) {
    fs::current_path(c_ / "WINDOWS" / "Desktop");
    plays_.push_back([](Dialog& d) { d.OKButton->click(); });
    form->Command2->click();
    EXPECT_EQ(shown_.at(0).startPath, "C:\\WINDOWS\\Desktop");
    EXPECT_EQ(entries(c_ / "WINDOWS" / "Desktop"), std::set<std::string>{kControl});
}

TEST_F(Folders, CancelAndTheTitleBarCloseMakeNothing) {
    const std::set<std::string> before = tree();
    plays_.push_back([](Dialog& d) {
        d.Dir1->setPath(QStringLiteral("C:\\"));
        d.CancelButton->click();
    });
    form->Command2->click();
    plays_.push_back([](Dialog& d) { d.close(); });
    form->Command4->click();
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(closes_, (std::vector<int>{1, 1}));
    EXPECT_TRUE(seams->messages.empty());
}

// The real modal showing: closing the window from its title bar ends it,
// and the button's handler returns.
TEST_F(Folders, TheRealDialogEndsWhenItsWindowIsClosed) {
    Form::setModalHandler({});
    const std::set<std::string> before = tree();
    Dialog* seen = nullptr;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<Dialog*>(w); d && d->isVisible()) seen = d;
        }
        ASSERT_NE(seen, nullptr);
        modal = seen->isModal();
        seen->close();
    });
    form->Command5->click();
    EXPECT_NE(seen, nullptr);
    EXPECT_TRUE(modal);
    EXPECT_EQ(tree(), before);
}

TEST_F(Folders, AFailedCreationIsReportedAndTheDialogStaysOpen) {
    fs::create_directories(c_ / "Target");
    plays_.push_back(okIn(QStringLiteral("C:\\Target")));
    form->Command2->click();
    ASSERT_TRUE(fs::is_directory(c_ / "Target" / kControl));
    testing_support::writeFile(c_ / "Target" / kControl / "kept.txt", "mine");

    // The same button for the same folder: the second attempt is reported
    // and the first folder is left as it was. The user then picks another.
    fs::create_directories(c_ / "Other");
    plays_.push_back([this](Dialog& d) {
        ASSERT_TRUE(d.Dir1->setPath(QStringLiteral("C:\\Target")));
        d.OKButton->click();
        EXPECT_EQ(seams->messages.size(), 1u);
        ASSERT_TRUE(d.Dir1->setPath(QStringLiteral("C:\\Other")));
        d.OKButton->click();
    });
    form->Command2->click();
    ASSERT_EQ(seams->messages.size(), 1u);
    const auto& m = seams->messages[0];
    EXPECT_EQ(m.title, "Knobwise");
    EXPECT_TRUE(m.prompt.contains(QStringLiteral("C:\\Target\\") + kControl))
        << m.prompt.toStdString();
    EXPECT_TRUE(m.prompt.contains(QStringLiteral("exists already"))) << m.prompt.toStdString();
    EXPECT_EQ(entries(c_ / "Target" / kControl), std::set<std::string>{"kept.txt"});
    EXPECT_TRUE(fs::is_directory(c_ / "Other" / kControl));
    // Closed once: by the OK that worked, not by the one that failed.
    EXPECT_EQ(closes_.at(1), 1);

    // A folder that went away after it was picked: its parent is missing.
    fs::create_directories(c_ / "Gone");
    plays_.push_back([this](Dialog& d) {
        ASSERT_TRUE(d.Dir1->setPath(QStringLiteral("C:\\Gone")));
        fs::remove(c_ / "Gone");
        d.OKButton->click();
        d.CancelButton->click();
    });
    form->Command3->click();
    ASSERT_EQ(seams->messages.size(), 2u);
    EXPECT_TRUE(seams->messages[1].prompt.contains(QStringLiteral("C:\\Gone\\") + kDial));
    EXPECT_TRUE(seams->messages[1].prompt.contains(QStringLiteral("does not exist")));
    EXPECT_FALSE(fs::exists(c_ / "Gone"));
}

// A name that exists in another letter case is the same name, as on Windows.
TEST_F(Folders, AFolderOfTheSameNameInAnotherCaseCountsAsExisting) {
    fs::create_directories(c_ / "Case" / "recycle bin.{645ff040-5081-101b-9f08-00aa002f954e}");
    plays_.push_back([](Dialog& d) {
        ASSERT_TRUE(d.Dir1->setPath(QStringLiteral("C:\\Case")));
        d.OKButton->click();
        d.CancelButton->click();
    });
    form->Command4->click();
    EXPECT_EQ(seams->messages.size(), 1u);
    EXPECT_EQ(entries(c_ / "Case").size(), 1u);
}

}  // namespace
