// Form1's controls: what each page holds, where, and how it looks when the
// window is created, and the names a screen reader reads for those whose
// caption does not say what they are. Positions and sizes are in twips.
#include "controls/classicstyle.h"
#include "controls/colors.h"
#include "controls/firstframe.h"
#include "controls/twips.h"
#include "machine/machine.h"
#include "pictures/pictures.h"
#include "window/Form1.h"

namespace {

template <typename Control>
Control* place(Control* control, int left, int top, int width, int height) {
    control->setGeometry(twips::rect(left, top, width, height));
    return control;
}

template <typename Control>
Control* withTabIndex(Control* control, int index) {
    Form::setTabIndex(control, index);
    return control;
}

constexpr std::uint32_t kGrey = colors::RGB(128, 128, 128);
constexpr std::uint32_t kFace = colors::RGB(192, 192, 192);
constexpr std::uint32_t kWhite = colors::RGB(255, 255, 255);
constexpr std::uint32_t kBlue = colors::RGB(0, 0, 255);

// The folder of each row of "Info Tips", from the top.
const char* const kTipFolders[] = {"My Computer",  "Network Neighborhood", "Briefcase",
                                   "The Internet", "My Documents",         "Recycle Bin"};

// The picture and the special folder of each row of "System Folders", from
// the top.
struct SystemFolder {
    const char* picture;
    const char* name;
};
const SystemFolder kSystemFolders[] = {{"controlpanel", "Control Panel"},
                                       {"dialup", "Dial-Up Networking"},
                                       {"recyclebin", "Recycle Bin"},
                                       {"network", "Network Neighborhood"}};

const char* const kLabel7 =
    "The Background of this page is what your Internet Toolbar Background is. If there is no "
    "background then you don't have an IE backbitmap set.";
const char* const kLabel3 =
    "Warning: Anyone with knowledge of using the registry can find your password.";
const char* const kLabel8 =
    "Click the Enable Cheating at Hearts button so Hearts will allow you to cheat. Then when you "
    "play Hearts next, hit Ctrl+Shift+Alt+F10 and you will see all the other players cards.";
const char* const kLabel10 =
    "Knobwise may be copied and given away freely. It runs only with its support files (the "
    "libraries it is built on) installed beside it, so whoever passes it on must include them, "
    "or each user must obtain them separately.";

}  // namespace

Form1::Form1(QWidget* parent)
    : Form(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                       Qt::MSWindowsFixedSizeDialogHint) {
    // On a Wine prefix the title names it, so that the user knows whose
    // settings these are; the embedded machine keeps the plain caption.
    const machine::Machine& on = machine::current();
    setWindowTitle(on.isWinePrefix()
                       ? QStringLiteral("Knobwise - ") + QString::fromStdString(on.name())
                       : QStringLiteral("Knobwise"));
    setWindowIcon(pictures::windowIcon());
    setClientSize(7905, 5790);
    firstframe::phase("window.icon");

    SSTab1 = withTabIndex(place(new SSTab(this), 0, 0, 7815, 5295), 0);
    SSTab1->setTabsPerRow(7);
    SSTab1->setTabHeight(300);
    SSTab1->setTabFont(classic::font(QStringLiteral("Times New Roman"), 9.75));
    SSTab1->setAccessibleName(QStringLiteral("Pages"));
    firstframe::phase("window.tabs");
    layoutInfoTips(SSTab1->addPage(QStringLiteral("Info Tips")));
    firstframe::phase("window.infotips");
    layoutInternetExplorer(SSTab1->addPage(QStringLiteral("Internet Explorer")));
    layoutBoot(SSTab1->addPage(QStringLiteral("Boot")));
    firstframe::phase("window.ie+boot");
    layoutSystemFolders(SSTab1->addPage(QStringLiteral("System Folders")));
    layoutMisc(SSTab1->addPage(QStringLiteral("Misc")));
    firstframe::phase("window.folders+misc");
    layoutAbout(SSTab1->addPage(QStringLiteral("About")));
    layoutButtonRow();
    firstframe::phase("window.about+buttons");

    applyTabIndexes();
    SSTab1->setTab(5);
    firstframe::phase("window.taborder");

    connect(Command2, &CommandButton::Click, this, &Form1::Command2_Click);
    connect(Command3, &CommandButton::Click, this, &Form1::Command3_Click);
    connect(Command4, &CommandButton::Click, this, &Form1::Command4_Click);
    connect(Command5, &CommandButton::Click, this, &Form1::Command5_Click);
    connect(Command6, &CommandButton::Click, this, &Form1::Command6_Click);
    connect(Command7, &CommandButton::Click, this, &Form1::Command7_Click);
    connect(Command10, &CommandButton::Click, this, &Form1::Command10_Click);
    connect(Label6, &Label::Click, this, &Form1::Label6_Click);
    connect(Label9, &Label::Click, this, &Form1::Label9_Click);
    connect(Label6, &Label::MouseMove, this, &Form1::Label6_MouseMove);
    connect(Label9, &Label::MouseMove, this, &Form1::Label9_MouseMove);
    connect(this, &Form::MouseMove, this, &Form1::Form_MouseMove);
    connect(SSTab1, &SSTab::MouseMove, this, &Form1::SSTab1_MouseMove);
}

void Form1::layoutInfoTips(QWidget* page) {
    const QFont tipFont = classic::font(QStringLiteral("Arial"), 6.75);
    // The folder's icon tells sighted users which row is which; the names say
    // it to a screen reader.
    auto folder = [](int n) { return QString::fromLatin1(kTipFolders[n - 1]); };
    auto text = [&](int n) {
        auto* box = place(new TextBox(page), 960, 600 + 720 * (n - 1), 6735, 285);
        box->setFont(tipFont);
        box->setText(QStringLiteral("Text%1").arg(n));
        box->setAccessibleName(folder(n) + QStringLiteral(" info tip"));
        return box;
    };
    auto picture = [&](int n) {
        auto* box = place(new PictureBox(page), 240, 480 + 720 * (n - 1), 615, 615);
        // Picture1 is made a persistent surface when the icons are drawn.
        box->setAutoRedraw(n != 1);
        box->setAccessibleName(folder(n));
        return box;
    };
    // In the order the page keeps them, which is also their focus order.
    Text1 = withTabIndex(text(1), 1);
    Picture1 = withTabIndex(picture(1), 2);
    Picture2 = withTabIndex(picture(2), 3);
    Text2 = withTabIndex(text(2), 4);
    Check1 = withTabIndex(
        place(new CheckBox(QStringLiteral("Show Info Tips"), page), 240, 4920, 1815, 255), 5);
    Check1->setValue(0);
    Picture3 = withTabIndex(picture(3), 6);
    Text3 = withTabIndex(text(3), 7);
    Picture4 = withTabIndex(picture(4), 8);
    Text4 = withTabIndex(text(4), 9);
    Picture5 = withTabIndex(picture(5), 10);
    Text5 = withTabIndex(text(5), 11);
    Picture6 = withTabIndex(picture(6), 12);
    Text6 = withTabIndex(text(6), 13);
}

void Form1::layoutInternetExplorer(QWidget* page) {
    Frame5 = place(new Frame(QStringLiteral("Background Bitmap"), page), 120, 360, 7575, 4815);
    // First, so that the label, button and check box lie on top of it.
    Image6 = place(new Image(Frame5), 120, 240, 7335, 4455);
    Image6->setStretch(true);
    Image6->setAccessibleName(QStringLiteral("Internet Explorer toolbar background"));
    Label7 = place(new Label(QString::fromLatin1(kLabel7), Frame5), 240, 360, 2775, 855);
    Label7->setBackColor(kWhite);
    Command6 =
        withTabIndex(place(new CommandButton(QStringLiteral("&Browse for Background..."), Frame5),
                           240, 1440, 2055, 375),
                     38);
    Check6 = withTabIndex(
        place(new CheckBox(QStringLiteral("&Use Backbitmaps"), Frame5), 240, 1920, 2055, 255), 39);
    Check6->setValue(0);
}

void Form1::layoutBoot(QWidget* page) {
    Frame3 = place(new Frame(QStringLiteral("Startup"), page), 120, 2400, 5895, 1695);
    ExplorerList1 = withTabIndex(place(new ExplorerList(Frame3), 120, 360, 5655, 1215), 29);
    ExplorerList1->setPattern(QStringLiteral("*.*"));
    ExplorerList1->setAccessibleName(Frame3->Caption());

    Frame1 = place(new Frame(QStringLiteral("Auto Login"), page), 120, 480, 5895, 1815);
    Label1 = place(new Label(QStringLiteral("UserName"), Frame1), 120, 240, 1095, 255);
    Text7 = withTabIndex(place(new TextBox(Frame1), 1080, 240, 3495, 285), 18);
    Label2 = place(new Label(QStringLiteral("Password"), Frame1), 120, 600, 975, 255);
    Text8 = withTabIndex(place(new TextBox(Frame1), 1080, 600, 3495, 285), 19);
    Text8->setPasswordChar(QStringLiteral("*"));
    // Each box is named by the label beside it, not by the frame.
    Label1->setBuddy(Text7);
    Label2->setBuddy(Text8);
    Check2 = withTabIndex(
        place(new CheckBox(QStringLiteral("&Use Auto Login"), Frame1), 120, 960, 2055, 255), 21);
    Check2->setValue(0);
    Label3 = place(new Label(QString::fromLatin1(kLabel3), Frame1), 120, 1440, 5535, 255);
}

void Form1::layoutSystemFolders(QWidget* page) {
    // The picture beside each button shows which folder it makes; the
    // button's name says it to a screen reader, after its caption.
    auto folder = [](int n) { return QString::fromLatin1(kSystemFolders[n - 1].name); };
    auto button = [&](int n) {
        auto* button = withTabIndex(place(new CommandButton(QStringLiteral("Create as file"), page),
                                          1080, 600 + 720 * (n - 1), 1095, 375),
                                    22 + n);
        button->setAccessibleName(QStringLiteral("Create as file: ") + folder(n));
        return button;
    };
    auto image = [&](int n) {
        auto* img = place(new Image(page), 240, 480 + 720 * (n - 1), 480, 480);
        img->setPicture(pictures::icon(QString::fromLatin1(kSystemFolders[n - 1].picture)));
        img->setAccessibleName(folder(n));
        return img;
    };
    Command5 = button(4);
    Command4 = button(3);
    Command3 = button(2);
    Command2 = button(1);
    Image4 = image(4);
    Image3 = image(3);
    Image2 = image(2);
    Image1 = image(1);
}

void Form1::layoutMisc(QWidget* page) {
    Frame6 = place(new Frame(QStringLiteral("Games"), page), 120, 2760, 7575, 1335);
    Command7 =
        withTabIndex(place(new CommandButton(QStringLiteral("Enable Cheating at Hearts"), Frame6),
                           240, 480, 2175, 375),
                     41);
    Label8 = place(new Label(QString::fromLatin1(kLabel8), Frame6), 2520, 360, 4815, 615);

    Frame4 = place(new Frame(QStringLiteral("Start Menu"), page), 120, 1680, 7575, 975);
    Check4 = withTabIndex(
        place(new CheckBox(QStringLiteral("Don't Show &Favorites on Start Menu"), Frame4), 240, 240,
              3375, 255),
        34);
    Check4->setValue(2);
    Check5 = withTabIndex(
        place(new CheckBox(QStringLiteral("Don't Show &Documents on Start Menu"), Frame4), 240, 600,
              3495, 255),
        35);
    Check5->setValue(2);

    Frame2 = place(new Frame(QStringLiteral("Shortcut Icon"), page), 120, 480, 7575, 1095);
    Image5 = place(new Image(Frame2), 240, 240, 480, 480);
    Image5->setPicture(pictures::icon(QStringLiteral("shortcut")));
    Image5->setAccessibleName(QStringLiteral("Shortcut arrow"));
    Check3 = withTabIndex(
        place(new CheckBox(QStringLiteral("&Use Shortcut Icons"), Frame2), 240, 840, 1695, 195),
        27);
    Check3->setValue(2);
}

void Form1::layoutAbout(QWidget* page) {
    Label4 = place(new Label(QStringLiteral("Knobwise"), page), 120, 480, 4575, 495);
    Label4->setFont(classic::font(QStringLiteral("Verdana"), 15.75, true));
    Label4->setForeColor(colors::RGB(19, 0, 128));
    Label5 = place(new Label(QStringLiteral("Label5"), page), 120, 1080, 5295, 1095);
    Label6 = place(new Label(QStringLiteral("Vantrell - ") + QString::fromLatin1(kWebAddress), page,
                             Label::Link),
                   120, 2400, 3975, 255);
    Label6->setFont(classic::font(QStringLiteral("Verdana"), 6.75, true));
    Label6->setForeColor(kBlue);
    Label6->setCursor(pictures::handCursor());
    Label10 = place(new Label(QString::fromLatin1(kLabel10), page), 240, 3600, 4575, 1215);
}

void Form1::layoutButtonRow() {
    Label9 = place(new Label(QStringLiteral("Vantrell"), this, Label::Link), 120, 5400, 2175, 255);
    Label9->setFont(classic::font(QStringLiteral("Arial"), 9.75, true));
    Label9->setForeColor(kGrey);
    Label9->setBackColor(kFace);
    Label9->setCursor(pictures::handCursor());

    auto button = [&](const char* caption, int left, int tabIndex) {
        return withTabIndex(
            place(new CommandButton(QString::fromLatin1(caption), this), left, 5400, 1215, 375),
            tabIndex);
    };
    Command10 = button("&Help", 2640, 46);
    Command9 = button("&OK", 3960, 44);
    Command8 = button("&Cancel", 5280, 43);
    Command1 = button("&Apply", 6600, 14);
    connect(Command1, &CommandButton::Click, this, &Form1::Command1_Click);
    connect(Command9, &CommandButton::Click, this, &Form1::Command9_Click);
    connect(Command8, &CommandButton::Click, this, &Form1::Command8_Click);
}
