// knobwise: makes the user's machine on first start, then loads the main
// window and shows it.
#include <QApplication>

#include "Form1.h"
#include "classicstyle.h"
#include "end.h"
#include "firstframe.h"
#include "hive.h"
#include "machine.h"
#include "msgbox.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Knobwise"));
    QGuiApplication::setDesktopFileName(QStringLiteral(KNOBWISE_APP_ID));
    classic::install();

    const machine::Outcome outcome = machine::ensure();
    if (!outcome.error.empty()) {
        MsgBox(QStringLiteral("The Knobwise machine could not be made:\n\n") +
                   QString::fromStdString(outcome.error),
               msgbox::kExclamation);
    } else {
        // A hive that cannot be used is said once; the program then runs with
        // every key failing to open. So is one that cannot be written: every
        // open asks for write rights, and would fail without a word.
        const hive::State state = hive::state();
        if (state == hive::State::Missing || state == hive::State::Damaged ||
            state == hive::State::ReadOnly) {
            MsgBox(QString::fromStdString(hive::problem()), msgbox::kExclamation);
        }
    }

    Form1 form;
    form.Load();
    if (program::ended()) return 0;
    firstframe::watch(form);
    form.Show();
    return QApplication::exec();
}
