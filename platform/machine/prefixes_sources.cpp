// What the sources of prefixes share: reading their small files and
// folders, and their names.
#include <algorithm>
#include <cerrno>

#include "files/untrusted_file.h"
#include "machine/prefixes_sources.h"

namespace prefixes {

namespace fs = std::filesystem;

const char* sourceName(Source s) {
    switch (s) {
        case Source::Wine:
            return "Wine";
        case Source::Steam:
            return "Steam";
        case Source::Lutris:
            return "Lutris";
        case Source::Bottles:
            return "Bottles";
        case Source::Heroic:
            return "Heroic";
        case Source::PlayOnLinux:
            return "PlayOnLinux";
    }
    return "";
}

namespace sources {

namespace {

// How deep a YAML text nests, as far as can be told without parsing it,
// stopped once past `limit`: its flow collections ([ ] and { }), counted
// past quoted text and comments, and the block collections that open on
// one line ("- - - x"). yaml-cpp reads the whole of an unclosed flow
// collection ahead, keeping a few hundred bytes for each of its tokens, so
// a text of unclosed [ must not reach it. A [ or { inside a word (a[1])
// opens nothing; brackets inside a block scalar count, which errs on the
// side of refusing. Nesting by indentation alone is bounded by the cap:
// each level costs a line, and a column more on each line below it.
int nesting(std::string_view text, int limit) {
    int depth = 0, deepest = 0;
    char previous = '\n';
    for (size_t i = 0; i < text.size() && deepest <= limit; previous = text[i++]) {
        const char c = text[i];
        if (previous == '\n' && depth == 0) {
            int opened = 0;
            size_t at = text.find_first_not_of(' ', i);
            while (at < text.size() && at + 1 < text.size() &&
                   (text[at] == '-' || text[at] == '?') &&
                   (text[at + 1] == ' ' || text[at + 1] == '\t')) {
                ++opened;
                at = text.find_first_not_of(" \t", at + 1);
            }
            deepest = std::max(deepest, opened);
        }
        const bool afterBlank =
            previous == '\n' || previous == ' ' || previous == '\t' || previous == '\r';
        const bool starts =
            afterBlank || previous == '[' || previous == '{' || previous == ',' || previous == ':';
        if (c == '#' && afterBlank) {
            i = std::min(text.find('\n', i), text.size()) - 1;
        } else if ((c == '\'' || c == '"') && starts) {
            // To its closing quote; '' within single quotes, \" within
            // double quotes are the quote itself.
            for (++i; i < text.size(); ++i) {
                if (c == '"' && text[i] == '\\') {
                    ++i;
                } else if (text[i] == c) {
                    if (c == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
                        ++i;
                    } else {
                        break;
                    }
                }
            }
            if (i >= text.size()) break;
        } else if ((c == '[' || c == '{') && starts) {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

std::optional<std::string> readSmallFile(const fs::path& file, Found& found) {
    try {
        return untrusted_file::read(file, kConfigCap);
    } catch (const untrusted_file::Refused& e) {
        if (e.error() != ENOENT && e.error() != ENOTDIR)
            found.warnings.push_back(std::string(e.what()) + "; it is skipped");
        return std::nullopt;
    }
}

void warnTooDeep(const fs::path& file, Found& found) {
    found.warnings.push_back(file.string() + " is nested too deeply to be read; it is skipped");
}

std::optional<YAML::Node> readYaml(const fs::path& file, Found& found) {
    const std::optional<std::string> text = readSmallFile(file, found);
    if (!text) return std::nullopt;
    if (nesting(*text, kMaxNesting) > kMaxNesting) {
        warnTooDeep(file, found);
        return std::nullopt;
    }
    try {
        return YAML::Load(*text);
    } catch (const YAML::Exception&) {
        return std::nullopt;
    }
}

std::vector<fs::path> subfolders(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc)) out.push_back(it->path());
    }
    return out;
}

}  // namespace sources

}  // namespace prefixes
