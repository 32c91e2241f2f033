#include "controls/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>
#include <vector>

#include "machine/app_object.h"

namespace msgbox {
namespace {

Handler& handler() {
    static Handler h;
    return h;
}

struct Choice {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<Choice> choices(int buttons) {
    switch (buttons & 0x0F) {
        case kOKCancel:
            return {{QMessageBox::Ok, kOK}, {QMessageBox::Cancel, kCancel}};
        case kAbortRetryIgnore:
            return {{QMessageBox::Abort, kAbort},
                    {QMessageBox::Retry, kRetry},
                    {QMessageBox::Ignore, kIgnore}};
        case kYesNoCancel:
            return {
                {QMessageBox::Yes, kYes}, {QMessageBox::No, kNo}, {QMessageBox::Cancel, kCancel}};
        case kYesNo:
            return {{QMessageBox::Yes, kYes}, {QMessageBox::No, kNo}};
        case kRetryCancel:
            return {{QMessageBox::Retry, kRetry}, {QMessageBox::Cancel, kCancel}};
        default:
            return {{QMessageBox::Ok, kOK}};
    }
}

QMessageBox::Icon icon(int buttons) {
    switch (buttons & 0x70) {
        case kCritical:
            return QMessageBox::Critical;
        case kQuestion:
            return QMessageBox::Question;
        case kExclamation:
            return QMessageBox::Warning;
        case kInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void setHandler(Handler h) {
    handler() = std::move(h);
}

}  // namespace msgbox

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    const QString shownTitle = title.isEmpty() ? App::Title() : title;
    if (msgbox::handler()) return msgbox::handler()(prompt, buttons, shownTitle);

    QMessageBox box(msgbox::icon(buttons), shownTitle, prompt, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    std::vector<msgbox::Choice> choices = msgbox::choices(buttons);
    for (const msgbox::Choice& c : choices) box.addButton(c.button);
    box.setDefaultButton(choices.front().button);
    // Closing the box from its title bar counts as its last button.
    box.setEscapeButton(choices.back().button);
    box.exec();
    auto* clicked = box.clickedButton();
    for (const msgbox::Choice& c : choices) {
        if (clicked == box.button(c.button)) return c.result;
    }
    return choices.back().result;
}
