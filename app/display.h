// Qt's application object, made where there may be no display to open. Qt
// then ends the program with abort() (exit code 134) after a few lines
// about platform plugins that tell the user nothing they can act on.
#pragma once

#include <QApplication>
#include <memory>

namespace display {

// Makes the application. Where no display can be opened, says so in one
// sentence on standard error (unless `quiet`: something has been said
// already) and ends the program with `exitCode`. What Qt says while it
// starts is held back until the application is made, and then said as
// Qt would have said it.
std::unique_ptr<QApplication> open(int& argc, char** argv, int exitCode, bool quiet);

}  // namespace display
