// Valve's text format of key and value pairs (KeyValues, the .vdf and .acf
// files of Steam): quoted or bare keys, each followed by a quoted or bare
// string or by a { } block of more pairs; // comments to the end of a line.
// Only read here, never written.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdf {

struct Pair;

// A value: a string, or a block of pairs in the order of the file.
struct Node {
    bool isBlock = false;
    std::string text;         // a string's value
    std::vector<Pair> pairs;  // a block's pairs

    // The first pair of a block whose key is `key`, ignoring ASCII case as
    // Steam does; nullptr when there is none (or this is a string).
    const Node* find(std::string_view key) const;
    // The string of that pair; nullopt when it is missing or a block.
    std::optional<std::string> string(std::string_view key) const;
};

struct Pair {
    std::string key;
    Node value;
};

// Deeper blocks than this are refused: no file Steam writes comes near it,
// and it bounds the reader's stack.
inline constexpr int kMaxDepth = 32;

// The pairs of a whole file, as a block; nullopt when the text is not of
// the format (an unclosed string or block, a key without a value, a stray
// "}", blocks nested too deep). `tooDeep`, when given, tells whether the
// last was the reason.
std::optional<Node> parse(std::string_view text, bool* tooDeep = nullptr);

}  // namespace vdf
