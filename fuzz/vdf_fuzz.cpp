// Fuzzes the reader of Valve's text format: any bytes are read or refused,
// never crash, and what is read holds no block deeper than the reader
// allows, nor more pairs than the text could spell.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "machine/vdf.h"

namespace {

std::size_t pairsWithin(const vdf::Node& node, int depth) {
    if (depth > vdf::kMaxDepth) __builtin_trap();
    std::size_t n = node.pairs.size();
    for (const auto& [key, value] : node.pairs) {
        if (!value.isBlock && !value.pairs.empty()) __builtin_trap();
        n += pairsWithin(value, depth + 1);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<vdf::Node> root = vdf::parse(text)) {
        // Each pair takes at least two bytes: a key and a value, or "{}".
        if (pairsWithin(*root, 0) > size / 2) __builtin_trap();
        (void)root->find("libraryfolders");
    }
    return 0;
}
