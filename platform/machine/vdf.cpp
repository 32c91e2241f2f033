#include "machine/vdf.h"

#include "text/ascii.h"

namespace vdf {

namespace {

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool tooDeep = false;  // a block nested deeper than kMaxDepth was met

    // The pairs up to the closing "}" (inside a block) or to the end.
    bool block(Node& into, int depth) {
        into.isBlock = true;
        for (;;) {
            skipSpace();
            if (at_ == text_.size()) return depth == 0;
            if (text_[at_] == '}') {
                ++at_;
                return depth > 0;
            }
            std::string key;
            if (!token(key)) return false;
            skipSpace();
            if (at_ == text_.size()) return false;
            Node value;
            if (text_[at_] == '{') {
                ++at_;
                if (depth + 1 > kMaxDepth) {
                    tooDeep = true;
                    return false;
                }
                if (!block(value, depth + 1)) return false;
            } else if (!token(value.text)) {
                return false;
            }
            into.pairs.push_back({std::move(key), std::move(value)});
        }
    }

  private:
    // Spaces, line ends and // comments. A lone "/" is text, as in a bare
    // token.
    void skipSpace() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at_;
            } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
                const size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                break;
            }
        }
    }

    // A quoted string with its escapes, or a bare word up to a space, a
    // brace or a quote. False at a brace, where a string should be.
    bool token(std::string& out) {
        if (text_[at_] == '"') return quoted(out);
        const size_t start = at_;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}' || c == '"')
                break;
            ++at_;
        }
        out.assign(text_.substr(start, at_ - start));
        return at_ > start;
    }

    // \" \\ \n \t stand for their characters; a backslash before anything
    // else is kept as it is.
    bool quoted(std::string& out) {
        ++at_;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (c != '\\' || at_ == text_.size()) {
                out += c;
                continue;
            }
            switch (text_[at_]) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                default:
                    out += '\\';
                    continue;
            }
            ++at_;
        }
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
};

}  // namespace

const Node* Node::find(std::string_view key) const {
    for (const auto& [k, v] : pairs) {
        if (ascii::equalNoCase(k, key)) return &v;
    }
    return nullptr;
}

std::optional<std::string> Node::string(std::string_view key) const {
    const Node* n = find(key);
    if (!n || n->isBlock) return std::nullopt;
    return n->text;
}

std::optional<Node> parse(std::string_view text, bool* tooDeep) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte order mark
    Node root;
    Reader reader(text);
    const bool read = reader.block(root, 0);
    if (tooDeep) *tooDeep = reader.tooDeep;
    if (!read) return std::nullopt;
    return root;
}

}  // namespace vdf
