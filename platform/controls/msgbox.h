// The message box: a prompt, a set of buttons and a title, shown modally.
#pragma once

#include <QString>
#include <functional>

namespace msgbox {

// Button sets (the low bits of the style) and icons.
inline constexpr int kOKOnly = 0;
inline constexpr int kOKCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;

// What the box returns: the button pressed.
inline constexpr int kOK = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

// What a test puts in place of the box: it gets the prompt, the style and
// the title actually shown, and returns the button "pressed".
using Handler = std::function<int(const QString& prompt, int buttons, const QString& title)>;

// Replaces the box; an empty function restores it.
void setHandler(Handler handler);

}  // namespace msgbox

// Shows the prompt and waits until the user closes the box; returns the
// button pressed. With no title the box carries the application title.
int MsgBox(const QString& prompt, int buttons = 0, const QString& title = {});
