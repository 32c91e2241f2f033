// knobreg history
// knobreg undo [N] [/f]
#include <ctime>
#include <ostream>

#include "knobreg.h"
#include "registry/catalogue_history.h"
#include "text/escape.h"
#include "winreg/history.h"

namespace knobreg {
namespace {

std::string when(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

}  // namespace

int history(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {}, {});
    if (!sw.positional().empty())
        throw SyntaxFailure("Invalid syntax: history takes no parameters");
    const std::vector<history::Entry> entries = session.hive().history();
    std::ostream& out = session.out();
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const history::Entry& e = entries[n];
        out << n + 1 << "    " << when(e.time) << "    " << escape::linesForTerminal(e.origin)
            << '\n'
            << "    " << escape::linesForTerminal(joined(catalogue::describe(e))) << '\n';
    }
    return 0;
}

int undo(const std::vector<std::string>& args, Session& session) {
    Switches sw(args, {}, {"f"});
    if (sw.positional().size() > 1)
        throw SyntaxFailure("Invalid syntax: undo takes the number of one change");
    std::size_t number = 1;
    if (!sw.positional().empty()) {
        const std::string& text = sw.positional()[0];
        if (text.empty() || text.size() > 3 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            throw SyntaxFailure("Invalid syntax: \"" + text +
                                "\" is no change's number (knobreg history lists them)");
        number = std::stoul(text);
    }
    const history::Entry undone = history::undo(session.hive(), number, sw.has("f"));
    session.out() << "Took back change " << number << ", "
                  << escape::linesForTerminal(undone.origin) << " of " << when(undone.time)
                  << ".\n";
    return 0;
}

}  // namespace knobreg
