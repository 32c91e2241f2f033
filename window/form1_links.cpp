// Help and the two link labels: documents opened through the shell, its
// failures reported by their code, and the labels lit up while the pointer
// is over them.
#include <string>

#include "controls/colors.h"
#include "controls/msgbox.h"
#include "machine/app_object.h"
#include "shell.h"
#include "text/codepage.h"
#include "window/Form1.h"
#include "window/shell_messages.h"

namespace {

constexpr std::uint32_t kBlue = colors::RGB(0, 0, 255);
constexpr std::uint32_t kRed = colors::RGB(255, 0, 0);
constexpr std::uint32_t kGrey = colors::RGB(128, 128, 128);
constexpr std::uint32_t kWhite = colors::RGB(255, 255, 255);

// Opens the document and tells the user when the shell could not.
void open(Form1& form, const QString& document) {
    const QString message = shellmessages::forResult(form.StartDoc(document));
    if (!message.isEmpty()) MsgBox(message, msgbox::kOKOnly);
}

}  // namespace

std::int32_t Form1::StartDoc(const QString& DocName) {
    HWND desktop = GetDesktopWindow();
    const std::string file = codepage::fromText(DocName);
    return shell::resultCode(ShellExecuteA(desktop, "Open", file.c_str(), "", "C:\\", 1));
}

void Form1::Command10_Click() {
    // Joined as they are: a program in a drive's root gives two backslashes.
    open(*this, App::Path() + QStringLiteral("\\help.htm"));
}

void Form1::Label6_Click() {
    open(*this, QString::fromLatin1(kWebAddress));
}

void Form1::Label9_Click() {
    open(*this, QString::fromLatin1(kWebAddress));
}

void Form1::Label6_MouseMove(int, int, float, float) {
    Label6->setFontUnderline(true);
    Label6->setForeColor(kRed);
}

void Form1::Label9_MouseMove(int, int, float, float) {
    Label9->setFontUnderline(true);
    Label9->setForeColor(kWhite);
}

void Form1::Form_MouseMove(int, int, float, float) {
    Label6->setFontUnderline(false);
    Label6->setForeColor(kBlue);
    Label9->setFontUnderline(false);
    Label9->setForeColor(kGrey);
}

void Form1::SSTab1_MouseMove(int, int, float, float) {
    Label6->setFontUnderline(false);
    Label6->setForeColor(kBlue);
    Label9->setFontUnderline(false);
    Label9->setForeColor(kGrey);
}
