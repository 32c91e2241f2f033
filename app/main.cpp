// knobwise: selects the machine (the user's own, made on first start, or a
// Wine prefix asked for on the command line), then loads the main window
// and shows it.
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "Form1.h"
#include "classicstyle.h"
#include "current_store.h"
#include "end.h"
#include "firstframe.h"
#include "machine.h"
#include "missing_keys.h"
#include "msgbox.h"
#include "options.h"

int main(int argc, char** argv) {
    options::Options opts = options::parse(argc, argv);
    if (opts.help) {
        std::cout << options::kUsage;
        return 0;
    }
    if (!opts.error.empty()) {
        std::cerr << "knobwise: " << opts.error << "\n\n" << options::kUsage;
        return 2;
    }
    if (opts.winePrefix) {
        if (std::optional<std::string> why = machine::checkWinePrefix(*opts.winePrefix)) {
            std::cerr << "knobwise: " << *why << '\n';
            return 1;
        }
        machine::select(machine::Machine::winePrefix(std::filesystem::absolute(*opts.winePrefix)));
        std::cerr << "knobwise: using the Wine prefix " << machine::current().prefix().string()
                  << '\n';
        // Read now: the prefix's files finish their check while the window
        // is made.
        hive::state();
    }

    int qtArgc = static_cast<int>(opts.rest.size());
    opts.rest.push_back(nullptr);
    QApplication app(qtArgc, opts.rest.data());
    QApplication::setApplicationName(QStringLiteral("Knobwise"));
    QGuiApplication::setDesktopFileName(QStringLiteral(KNOBWISE_APP_ID));
    classic::install();
    if (qtArgc > 1) {
        std::cerr << "knobwise: unexpected argument " << opts.rest[1] << "\n\n" << options::kUsage;
        return 2;
    }

    const machine::Outcome outcome =
        machine::current().isWinePrefix() ? machine::Outcome{} : machine::ensure();
    Form1 form;
    if (!outcome.error.empty()) {
        MsgBox(QStringLiteral("The Knobwise machine could not be made:\n\n") +
                   QString::fromStdString(outcome.error),
               msgbox::kExclamation);
    } else if (const std::string problem = hive::problem(); !problem.empty()) {
        // Said once; the program then runs as the store allows: with every
        // key failing to open (missing, damaged, or not writable, since every
        // open asks for write rights), or with every change refused (Wine
        // running in the prefix, one of its files damaged).
        if (machine::current().isWinePrefix()) std::cerr << "knobwise: " << problem << '\n';
        MsgBox(QString::fromStdString(problem), msgbox::kExclamation);
    } else {
        missing_keys::offer();
    }

    form.Load();
    if (program::ended()) return 0;
    firstframe::watch(form);
    form.Show();
    return QApplication::exec();
}
