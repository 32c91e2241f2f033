#include "registry/catalogue_history.h"

#include <set>

#include "registry/catalogue.h"
#include "text/casefold.h"

namespace catalogue {
namespace {

// A row's value by its root and path below HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER, folded, as the history names values.
std::string folded(const regstore::KeyPath& key, std::string_view value) {
    return std::to_string(static_cast<int>(key.root)) + "\\" + casefold::fold(key.path) + "\\\\" +
           casefold::fold(value);
}

std::string rowName(const Row& row) {
    const regstore::Root root = regstore::rootOf(row.root);
    const std::string base = regstore::rootKey(root).longName;
    return folded(regstore::keyPathOf(base + "\\" + row.keyPath), row.valueName);
}

}  // namespace

std::vector<std::string> describe(const history::Entry& entry) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const history::Step& step : entry.steps) {
        std::string shown;
        if (!step.isKey) {
            const std::string name = folded(step.key, step.name);
            for (const Row& row : kRows) {
                if (rowName(row) == name) shown = row.label;
            }
        }
        if (shown.empty()) {
            history::Entry one;
            one.steps.push_back(step);
            shown = history::touched(one).front();
        }
        if (seen.insert(shown).second) out.push_back(std::move(shown));
    }
    return out;
}

}  // namespace catalogue
