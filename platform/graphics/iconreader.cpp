#include "graphics/iconreader.h"

#include "graphics/littleendian.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace iconreader {
namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kHighBit = 0x80000000u;

// The part [offset, offset + length) of the bytes, when it lies inside them.
// Offsets and lengths are 64-bit so that no sum of two 32-bit fields wraps.
std::optional<Bytes> slice(Bytes b, std::uint64_t offset, std::uint64_t length) {
    if (offset > b.size() || length > b.size() - offset) return std::nullopt;
    return b.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

using littleendian::u16;
using littleendian::u32;

int dimension(std::uint8_t stored) {
    return stored == 0 ? 256 : stored;
}

// ---- .ico files ---------------------------------------------------------

constexpr std::size_t kIcoHeader = 6;
constexpr std::size_t kIcoEntry = 16;

bool isIco(Bytes file) {
    if (file.size() < kIcoHeader) return false;
    std::uint16_t n = u16(file, 4);
    return u16(file, 0) == 0 && u16(file, 2) == 1 && n > 0 &&
           slice(file, kIcoHeader, std::uint64_t{n} * kIcoEntry);
}

std::vector<Image> icoImages(Bytes file) {
    std::vector<Image> images;
    std::uint16_t n = u16(file, 4);
    for (std::size_t i = 0; i < n; ++i) {
        Bytes e = file.subspan(kIcoHeader + i * kIcoEntry, kIcoEntry);
        auto bytes = slice(file, u32(e, 12), u32(e, 8));
        if (!bytes || bytes->empty()) continue;
        images.push_back({dimension(e[0]), dimension(e[1]), u16(e, 6), *bytes});
    }
    return images;
}

// ---- PE images ----------------------------------------------------------

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawPointer;
};

struct DirEntry {
    std::uint32_t name;    // high bit: offset of a name string; else a numeric ID
    std::uint32_t target;  // high bit: offset of a subdirectory; else of a data entry
};

class Pe {
  public:
    // nullopt when the file does not carry the MZ and PE signatures. A file
    // that does is a PE image from then on, however damaged the rest.
    static std::optional<Pe> open(Bytes file);

    // The index-th group-icon resource.
    Lookup group(std::uint32_t index) const;
    int groupCount() const;

  private:
    explicit Pe(Bytes file) : file_(file) {}
    bool readHeaders();

    // The bytes at a relative virtual address, when one section holds them all
    // in the file.
    std::optional<Bytes> at(std::uint64_t rva, std::uint64_t length) const;
    // The entries of the resource directory at `offset` from the root.
    std::optional<std::vector<DirEntry>> directory(std::uint32_t offset) const;
    // The subdirectory of the root for a numeric resource type.
    std::optional<std::vector<DirEntry>> typeDirectory(std::uint32_t type) const;
    // The data of a resource, given its entry in a type directory (the
    // resource's name level): the first language that has data.
    std::optional<Bytes> resourceData(const DirEntry& named) const;

    Bytes file_;
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;  // 0: the image has no resources
};

std::optional<Pe> Pe::open(Bytes file) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    auto signature = slice(file, u32(file, 0x3C), 4);
    if (!signature || !std::equal(signature->begin(), signature->end(), "PE\0\0"))
        return std::nullopt;
    Pe pe(file);
    if (!pe.readHeaders()) pe.resourceRva_ = 0;
    return pe;
}

bool Pe::readHeaders() {
    const std::uint64_t coff = std::uint64_t{u32(file_, 0x3C)} + 4;
    auto header = slice(file_, coff, 20);
    if (!header) return false;
    const std::uint16_t sectionCount = u16(*header, 2);
    const std::uint16_t optionalSize = u16(*header, 16);
    auto optional = slice(file_, coff + 20, optionalSize);
    if (!optional || optional->size() < 2) return false;

    // The data directories follow the fixed part of the optional header,
    // which is longer in PE32+ images; the resource table is entry 2.
    std::size_t countAt = 0;
    switch (u16(*optional, 0)) {
        case 0x10B:
            countAt = 92;
            break;
        case 0x20B:
            countAt = 108;
            break;
        default:
            return false;
    }
    if (optional->size() < countAt + 4) return false;
    const std::uint32_t directories = u32(*optional, countAt);
    const std::size_t resourceAt = countAt + 4 + 2 * 8;
    if (directories < 3 || optional->size() < resourceAt + 8) return false;
    resourceRva_ = u32(*optional, resourceAt);
    if (resourceRva_ == 0 || u32(*optional, resourceAt + 4) == 0) return false;

    auto table = slice(file_, coff + 20 + optionalSize, std::uint64_t{sectionCount} * 40);
    if (!table) return false;
    sections_.reserve(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        Bytes s = table->subspan(i * 40, 40);
        std::uint32_t virtualSize = u32(s, 8);
        std::uint32_t rawSize = u32(s, 16);
        // Bytes past the section's virtual size are not part of the image.
        if (virtualSize != 0) rawSize = std::min(rawSize, virtualSize);
        sections_.push_back({u32(s, 12), rawSize, u32(s, 20)});
    }
    return true;
}

std::optional<Bytes> Pe::at(std::uint64_t rva, std::uint64_t length) const {
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress) continue;
        std::uint64_t into = rva - s.virtualAddress;
        if (into >= s.rawSize || length > s.rawSize - into) continue;
        return slice(file_, std::uint64_t{s.rawPointer} + into, length);
    }
    return std::nullopt;
}

std::optional<std::vector<DirEntry>> Pe::directory(std::uint32_t offset) const {
    const std::uint64_t rva = std::uint64_t{resourceRva_} + offset;
    auto header = at(rva, 16);
    if (!header) return std::nullopt;
    const std::uint64_t n = std::uint64_t{u16(*header, 12)} + u16(*header, 14);
    auto entries = at(rva + 16, n * 8);
    if (!entries) return std::nullopt;
    std::vector<DirEntry> out;
    out.reserve(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < n; ++i)
        out.push_back({u32(*entries, i * 8), u32(*entries, i * 8 + 4)});
    return out;
}

std::optional<std::vector<DirEntry>> Pe::typeDirectory(std::uint32_t type) const {
    if (resourceRva_ == 0) return std::nullopt;
    auto root = directory(0);
    if (!root) return std::nullopt;
    for (const DirEntry& e : *root) {
        if (e.name == type && (e.target & kHighBit)) return directory(e.target & ~kHighBit);
    }
    return std::nullopt;
}

std::optional<Bytes> Pe::resourceData(const DirEntry& named) const {
    if (!(named.target & kHighBit)) return std::nullopt;
    auto languages = directory(named.target & ~kHighBit);
    if (!languages) return std::nullopt;
    for (const DirEntry& language : *languages) {
        if (language.target & kHighBit) continue;
        auto entry = at(std::uint64_t{resourceRva_} + language.target, 16);
        if (!entry) return std::nullopt;
        return at(u32(*entry, 0), u32(*entry, 4));
    }
    return std::nullopt;
}

int Pe::groupCount() const {
    auto groups = typeDirectory(kRtGroupIcon);
    return groups ? static_cast<int>(groups->size()) : 0;
}

Lookup Pe::group(std::uint32_t index) const {
    Lookup none{Status::NoIcon, {}};
    auto groups = typeDirectory(kRtGroupIcon);
    if (!groups || index >= groups->size()) return none;
    auto group = resourceData((*groups)[index]);
    if (!group || group->size() < 6) return none;
    const std::uint16_t n = u16(*group, 4);
    auto table = slice(*group, 6, std::uint64_t{n} * 14);
    if (!table) return none;

    // The group names its images by RT_ICON resource ID. The first entry of
    // an ID counts, as a lookup in the directory would find it.
    auto icons = typeDirectory(kRtIcon);
    if (!icons) return none;
    std::vector<std::pair<std::uint32_t, std::size_t>> byId;
    byId.reserve(icons->size());
    for (std::size_t i = 0; i < icons->size(); ++i) {
        if (!((*icons)[i].name & kHighBit)) byId.push_back({(*icons)[i].name, i});
    }
    std::stable_sort(byId.begin(), byId.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    Lookup found{Status::Found, {}};
    for (std::size_t i = 0; i < n; ++i) {
        Bytes e = table->subspan(i * 14, 14);
        const std::uint32_t id = u16(e, 12);
        auto it = std::lower_bound(byId.begin(), byId.end(), id,
                                   [](const auto& p, std::uint32_t v) { return p.first < v; });
        if (it == byId.end() || it->first != id) continue;
        auto bytes = resourceData((*icons)[it->second]);
        if (!bytes || bytes->empty()) continue;
        found.images.push_back({dimension(e[0]), dimension(e[1]), u16(e, 6), *bytes});
    }
    return found.images.empty() ? none : found;
}

}  // namespace

Lookup find(Bytes file, std::uint32_t index) {
    if (auto pe = Pe::open(file)) return pe->group(index);
    if (isIco(file)) {
        if (index != 0) return {Status::NoIcon, {}};
        Lookup found{Status::Found, icoImages(file)};
        if (found.images.empty()) found.status = Status::NoIcon;
        return found;
    }
    return {Status::NotIconFile, {}};
}

int count(Bytes file) {
    if (auto pe = Pe::open(file)) return pe->groupCount();
    return isIco(file) ? 1 : -1;
}

}  // namespace iconreader
