#include "wineprefix/wine_text.h"

#include <algorithm>

#include "text/casefold.h"

namespace regstore {
namespace {

bool pathLess(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

int linesIn(std::string_view s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

}  // namespace

KeyId Keys::addRoot(std::string_view name, int file) {
    const KeyId id = tree.addRoot(name);
    lines.emplace_back().file = file;
    return id;
}

KeyId Keys::make(KeyId parent, std::string_view name) {
    const KeyId id = tree.make(parent, name);
    if (static_cast<std::size_t>(id) == lines.size()) {
        const int file = at(parent).file;
        lines.emplace_back().file = file;
    }
    return id;
}

FileText::FileText(Keys& keys, KeyId root,
                   std::function<void(const wine_format::ParseError&)> unreadable)
    : keys_(keys), root_(root), file_(keys.at(root).file), unreadable_(std::move(unreadable)) {}

// Keys keep their numbers across reloads.
void FileText::load(std::string text) {
    wine_format::Layout layout = wine_format::parse(text);
    for (KeyId c : keys_.tree.children(root_)) keys_.tree.remove(c);
    for (std::size_t i = 1; i < keys_.lines.size(); ++i) {
        KeyLines& n = keys_.lines[i];
        if (n.file != file_) continue;
        n.section = -1;
        n.duplicates.clear();
        n.loaded = n.dirty = n.pending = false;
        n.values.clear();
    }
    order_.clear();
    order_.reserve(layout.sections.size());
    // Room for the keys to come (a key a section, and a few above them)
    // before the table is half full.
    const std::size_t more = layout.sections.size() + layout.sections.size() / 4;
    keys_.tree.reserve(more, text.size() / 4);
    keys_.lines.reserve(keys_.tree.size() + more);
    // Sections come in name order, so a path mostly begins as the one
    // before it did: those keys are known without looking them up. A
    // path that had to be decoded keeps its names in a scratch string,
    // and the section before's stay in the other.
    std::string scratch[2];
    std::vector<std::string_view> parts, previousParts;
    std::vector<KeyId> previousIds;
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        wine_format::namesOf(text, layout.sections[i], parts, scratch[i % 2]);
        std::size_t same = 0;
        while (same < parts.size() && same < previousParts.size() &&
               parts[same] == previousParts[same])
            ++same;
        previousIds.resize(same);
        KeyId id = same ? previousIds.back() : root_;
        for (std::size_t k = same; k < parts.size(); ++k) {
            id = keys_.make(id, parts[k]);
            previousIds.push_back(id);
        }
        std::swap(parts, previousParts);
        KeyLines& n = keys_.at(id);
        if (n.section < 0) {
            n.section = static_cast<int>(i);
        } else {
            n.duplicates.push_back(static_cast<int>(i));
        }
        order_.push_back({id, static_cast<int>(i)});
    }
    text_ = std::move(text);
    layout_ = std::move(layout);
}

std::vector<Val>& FileText::values(KeyId id) {
    KeyLines& n = keys_.at(id);
    if (n.loaded) return n.values;
    n.loaded = true;
    n.values.clear();
    auto take = [&](int sec) {
        const wine_format::Section& s = layout_.sections[static_cast<std::size_t>(sec)];
        for (wine_format::Item& it : wine_format::body(text_, s)) {
            if (it.kind != wine_format::Item::Value) continue;
            Val v;
            v.fold = casefold::fold(it.name);
            v.name = std::move(it.name);
            v.type = it.type;
            v.data = std::move(it.data);
            v.section = sec;
            v.origin = it.begin - s.begin;
            v.nameLen = it.nameEnd - it.begin;
            v.length = it.end - it.begin;
            v.intact = true;
            // A later line for the same name wins, as Wine reads it.
            std::erase_if(n.values, [&](const Val& o) { return o.fold == v.fold; });
            n.values.push_back(std::move(v));
        }
    };
    // Every line was checked as the file was read; should a section that
    // cannot be read come here all the same, the file is taken as
    // unreadable.
    try {
        if (n.section >= 0) take(n.section);
        for (int d : n.duplicates) take(d);
    } catch (const wine_format::ParseError& e) {
        n.values.clear();
        unreadable_(e);
    }
    return n.values;
}

Val* FileText::findValue(KeyId id, std::string_view name) {
    std::vector<Val>& values = this->values(id);
    std::string f = casefold::fold(name);
    for (Val& v : values) {
        if (v.fold == f) return &v;
    }
    return nullptr;
}

void FileText::markDirty(KeyId id) {
    KeyLines& n = keys_.at(id);
    n.dirty = true;
    if (n.section >= 0 || n.pending || id == root_) return;
    n.pending = true;
    const std::vector<std::string> path = keys_.tree.foldedPath(id);
    auto at = std::find_if(order_.begin(), order_.end(), [&](const Entry& e) {
        return pathLess(path, keys_.tree.foldedPath(e.node));
    });
    order_.insert(at, Entry{id, -1});
}

std::string_view FileText::sectionText(int sec) const {
    const wine_format::Section& s = layout_.sections[static_cast<std::size_t>(sec)];
    return std::string_view(text_).substr(s.begin, s.end - s.begin);
}

std::string FileText::rawLine(const Val& v) const {
    const wine_format::Section& s = layout_.sections[static_cast<std::size_t>(v.section)];
    return text_.substr(s.begin + v.origin, v.length);
}

std::string FileText::lineOf(const Val& v) const {
    if (v.intact) return rawLine(v);
    std::string name =
        v.section >= 0
            ? text_.substr(layout_.sections[static_cast<std::size_t>(v.section)].begin + v.origin,
                           v.nameLen)
            : wine_format::nameText(v.name);
    return wine_format::valueText(name, v.type, v.data, layout_.eol);
}

// A key's section written anew: its key line with a fresh time, its option
// and comment lines as they were, its values with the changed ones in their
// places and new ones in name order.
wine_format::Section FileText::regenerate(KeyId id, int sec, std::string& out) {
    const std::string& eol = layout_.eol;
    const std::vector<Val>& values = this->values(id);
    struct Line {
        wine_format::Item::Kind kind;
        std::string text;
        std::string fold;
    };
    std::vector<Line> lines;
    std::vector<bool> placed(values.size(), false);
    wine_format::Section made;
    std::string rawPath;
    if (sec >= 0) {
        const wine_format::Section& s = layout_.sections[static_cast<std::size_t>(sec)];
        rawPath = s.rawPath(text_);
        for (const wine_format::Item& it : wine_format::body(text_, s)) {
            if (it.kind == wine_format::Item::Value) {
                for (std::size_t k = 0; k < values.size(); ++k) {
                    const Val& v = values[k];
                    if (v.section == sec && s.begin + v.origin == it.begin) {
                        lines.push_back({it.kind, lineOf(v), v.fold});
                        placed[k] = true;
                    }
                }
                continue;
            }
            std::string text = text_.substr(it.begin, it.end - it.begin);
            if (it.kind == wine_format::Item::Option && text.starts_with("#time="))
                text = wine_format::timeLine(wine_format::filetimeNow(), eol);
            lines.push_back({it.kind, std::move(text), {}});
        }
    } else {
        if (!out.empty() && !out.ends_with(eol + eol)) out += eol;
        rawPath = wine_format::pathText(keys_.tree.path(id));
        lines.push_back({wine_format::Item::Option,
                         wine_format::timeLine(wine_format::filetimeNow(), eol),
                         {}});
    }
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (placed[k]) continue;
        const Val& v = values[k];
        auto firstGreater = std::find_if(lines.begin(), lines.end(), [&](const Line& l) {
            return l.kind == wine_format::Item::Value && v.fold < l.fold;
        });
        auto at = firstGreater;
        if (at == lines.end()) {
            // After the last value, or the last option when there is none.
            auto last = std::find_if(lines.rbegin(), lines.rend(), [](const Line& l) {
                return l.kind == wine_format::Item::Value;
            });
            if (last == lines.rend())
                last = std::find_if(lines.rbegin(), lines.rend(), [](const Line& l) {
                    return l.kind == wine_format::Item::Option;
                });
            at = last == lines.rend() ? lines.begin() : last.base();
        }
        lines.insert(at, {wine_format::Item::Value, lineOf(v), v.fold});
    }
    const std::string head = wine_format::keyLine(rawPath, wine_format::unixNow(), eol);
    made.begin = out.size();
    made.pathEnd = made.begin + 1 + rawPath.size();
    made.bodyBegin = made.begin + head.size();
    out += head;
    for (const Line& l : lines) out += l.text;
    if (sec < 0) out += eol;
    return made;
}

Rewrite FileText::serialize() {
    Rewrite r;
    // Into the memory of the text before: a file of a few megabytes costs
    // more in fresh pages than in copying.
    r.text = std::move(spare_);
    r.text.clear();
    r.text.reserve(text_.size() + 4096);
    r.text.append(text_, 0, layout_.headerEnd);
    r.moved.assign(layout_.sections.size(), -1);
    r.sections.reserve(order_.size());
    r.order.reserve(order_.size());
    // Sections copied one after another are appended together.
    std::size_t runFrom = 0, runTo = 0;
    auto flush = [&] {
        r.text.append(text_, runFrom, runTo - runFrom);
        runFrom = runTo = 0;
    };
    auto written = [&] { return r.text.size() + (runTo - runFrom); };
    // Line numbers, for messages about a section's values: a section copied
    // moves by the lines added and taken out before it.
    int shift = 0;
    int lastCopied = -1;  // the section copied last, whose lines nextLine lacks
    int nextLine = 1 + linesIn(std::string_view(text_).substr(0, layout_.headerEnd));
    auto place = [&](wine_format::Section s, KeyId id) {
        if (!r.sections.empty()) r.sections.back().end = s.begin;

        r.order.push_back({id, static_cast<int>(r.sections.size())});
        r.sections.push_back(std::move(s));
    };
    for (const Entry& e : order_) {
        const KeyLines& n = keys_.at(e.node);
        const bool merged = n.dirty && e.section >= 0 && e.section != n.section;
        if (!keys_.tree.present(e.node) || merged) {
            if (e.section >= 0) shift -= linesIn(sectionText(e.section));
            continue;
        }
        if (!n.dirty) {
            if (e.section < 0) continue;
            const wine_format::Section& old = layout_.sections[static_cast<std::size_t>(e.section)];
            wine_format::Section s = old;
            s.begin = written();
            s.pathEnd = s.begin + (old.pathEnd - old.begin);
            s.bodyBegin = s.begin + (old.bodyBegin - old.begin);
            s.line = old.line + shift;
            if (runTo != old.begin) {
                flush();
                runFrom = old.begin;
            }
            runTo = old.end;
            r.moved[static_cast<std::size_t>(e.section)] = static_cast<int>(r.sections.size());
            lastCopied = e.section;
            nextLine = s.line;
            place(std::move(s), e.node);
            continue;
        }
        if (lastCopied >= 0) nextLine += linesIn(sectionText(lastCopied));
        lastCopied = -1;
        flush();
        const std::size_t before = r.text.size();
        wine_format::Section s = regenerate(e.node, e.section, r.text);
        const int added = linesIn(std::string_view(r.text).substr(before));
        s.line = nextLine + linesIn(std::string_view(r.text).substr(before, s.begin - before));
        nextLine += added;
        shift += added - (e.section >= 0 ? linesIn(sectionText(e.section)) : 0);
        place(std::move(s), e.node);
    }
    flush();
    if (!r.sections.empty()) r.sections.back().end = r.text.size();
    return r;
}

void FileText::adopt(Rewrite r) {
    for (std::size_t i = 1; i < keys_.lines.size(); ++i) {
        KeyLines& n = keys_.lines[i];
        if (n.file != file_) continue;
        n.loaded = false;
        n.values.clear();
        n.pending = false;
        n.duplicates.clear();
        if (!keys_.tree.present(static_cast<KeyId>(i)) || n.dirty) {
            n.section = -1;
        } else if (n.section >= 0) {
            n.section = r.moved[static_cast<std::size_t>(n.section)];
        }
        n.dirty = false;
    }
    for (const Entry& e : r.order) {
        KeyLines& n = keys_.at(e.node);
        if (n.section < 0) {
            n.section = e.section;
        } else if (n.section != e.section) {
            n.duplicates.push_back(e.section);
        }
    }
    spare_ = std::move(text_);
    text_ = std::move(r.text);
    layout_.sections = std::move(r.sections);
    order_ = std::move(r.order);
}

}  // namespace regstore
