#include "pewriter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace pewriter {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

namespace {

using Buffer = std::vector<std::uint8_t>;

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kLanguage = 1033;  // US English
constexpr std::uint32_t kHighBit = 0x80000000u;

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kResourceRva = 0x1000;
constexpr std::uint32_t kPeOffset = 0x80;

std::uint32_t alignUp(std::uint32_t value, std::uint32_t to) {
    return (value + to - 1) / to * to;
}

void put64(Buffer& b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v));
    put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint8_t dimension(int side) {
    if (side < 1 || side > 256) throw std::invalid_argument("icon image side outside 1..256");
    return static_cast<std::uint8_t>(side == 256 ? 0 : side);
}

// The 14-byte directory entry of a group resource and the 16-byte one of an
// .ico file share their first 12 bytes.
void putImageEntry(Buffer& b, std::size_t at, const Image& image) {
    b[at] = dimension(image.width);
    b[at + 1] = dimension(image.height);
    b[at + 2] = static_cast<std::uint8_t>(image.colorCount);
    b[at + 3] = 0;
    put16(b, at + 4, 1);
    put16(b, at + 6, static_cast<std::uint32_t>(image.bitCount));
    put32(b, at + 8, static_cast<std::uint32_t>(image.bytes.size()));
}

Buffer groupData(const Group& group, std::uint16_t firstIconId) {
    Buffer b(6 + 14 * group.images.size());
    put16(b, 0, 0);
    put16(b, 2, 1);
    put16(b, 4, static_cast<std::uint32_t>(group.images.size()));
    for (std::size_t i = 0; i < group.images.size(); ++i) {
        putImageEntry(b, 6 + 14 * i, group.images[i]);
        put16(b, 6 + 14 * i + 12, static_cast<std::uint32_t>(firstIconId + i));
    }
    return b;
}

std::string upper(const std::string& s) {
    std::string u = s;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// One resource of the tree: its name or ID at the name level and its data.
struct Resource {
    std::string name;
    std::uint32_t id = 0;
    Buffer data;
};

// The .rsrc section: the three directory levels (type, name, language), the
// data entries, the name strings and the data, each part aligned.
Buffer resourceSection(const std::vector<Resource>& icons, const std::vector<Resource>& groups) {
    const std::vector<std::pair<std::uint32_t, const std::vector<Resource>*>> types = {
        {kRtIcon, &icons}, {kRtGroupIcon, &groups}};
    const std::size_t resources = icons.size() + groups.size();

    std::size_t at = 16 + 8 * types.size();
    std::vector<std::size_t> typeDirAt;
    for (const auto& type : types) {
        typeDirAt.push_back(at);
        at += 16 + 8 * type.second->size();
    }
    const std::size_t languageDirsAt = at;
    at += 24 * resources;
    const std::size_t dataEntriesAt = at;
    at += 16 * resources;
    const std::size_t stringsAt = at;
    for (const auto& type : types)
        for (const Resource& r : *type.second)
            if (!r.name.empty()) at += 2 + 2 * r.name.size();
    at = alignUp(static_cast<std::uint32_t>(at), 8);
    const std::size_t dataAt = at;
    for (const auto& type : types)
        for (const Resource& r : *type.second)
            at = alignUp(static_cast<std::uint32_t>(at + r.data.size()), 8);

    Buffer b(at, 0);
    auto putDirectory = [&](std::size_t where, std::size_t named, std::size_t numbered) {
        put16(b, where + 12, static_cast<std::uint32_t>(named));
        put16(b, where + 14, static_cast<std::uint32_t>(numbered));
    };
    putDirectory(0, 0, types.size());

    std::size_t resource = 0;
    std::size_t stringAt = stringsAt;
    std::size_t blobAt = dataAt;
    for (std::size_t t = 0; t < types.size(); ++t) {
        const auto& list = *types[t].second;
        put32(b, 16 + 8 * t, types[t].first);
        put32(b, 16 + 8 * t + 4, kHighBit | static_cast<std::uint32_t>(typeDirAt[t]));
        const std::size_t named = std::count_if(list.begin(), list.end(),
                                                [](const Resource& r) { return !r.name.empty(); });
        putDirectory(typeDirAt[t], named, list.size() - named);
        for (std::size_t i = 0; i < list.size(); ++i, ++resource) {
            const Resource& r = list[i];
            const std::size_t entry = typeDirAt[t] + 16 + 8 * i;
            if (r.name.empty()) {
                put32(b, entry, r.id);
            } else {
                put32(b, entry, kHighBit | static_cast<std::uint32_t>(stringAt));
                put16(b, stringAt, static_cast<std::uint32_t>(r.name.size()));
                for (std::size_t c = 0; c < r.name.size(); ++c)
                    put16(b, stringAt + 2 + 2 * c, static_cast<unsigned char>(r.name[c]));
                stringAt += 2 + 2 * r.name.size();
            }
            const std::size_t languageDir = languageDirsAt + 24 * resource;
            put32(b, entry + 4, kHighBit | static_cast<std::uint32_t>(languageDir));
            putDirectory(languageDir, 0, 1);
            const std::size_t dataEntry = dataEntriesAt + 16 * resource;
            put32(b, languageDir + 16, kLanguage);
            put32(b, languageDir + 20, static_cast<std::uint32_t>(dataEntry));
            put32(b, dataEntry, kResourceRva + static_cast<std::uint32_t>(blobAt));
            put32(b, dataEntry + 4, static_cast<std::uint32_t>(r.data.size()));
            std::copy(r.data.begin(), r.data.end(),
                      b.begin() + static_cast<std::ptrdiff_t>(blobAt));
            blobAt = alignUp(static_cast<std::uint32_t>(blobAt + r.data.size()), 8);
        }
    }
    return b;
}

// A DOS program of our own that says what the file is and ends.
Buffer dosHeaderAndStub() {
    Buffer b(kPeOffset, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put16(b, 0x02, kPeOffset);  // bytes in the last page
    put16(b, 0x04, 1);          // pages
    put16(b, 0x08, 4);          // header paragraphs
    put16(b, 0x0C, 0xFFFF);     // maximum extra paragraphs
    put16(b, 0x10, 0xB8);       // initial SP
    put16(b, 0x18, 0x40);       // relocation table
    put32(b, 0x3C, kPeOffset);
    const std::uint8_t code[] = {
        0x0E,              // push cs
        0x1F,              // pop ds
        0xBA, 0x0E, 0x00,  // mov dx, message
        0xB4, 0x09,        // mov ah, 9 (print string)
        0xCD, 0x21,        // int 21h
        0xB8, 0x01, 0x4C,  // mov ax, 4C01h (exit with 1)
        0xCD, 0x21,        // int 21h
    };
    std::memcpy(b.data() + 0x40, code, sizeof code);
    const char message[] = "This file holds only icons.\r\n$";
    std::memcpy(b.data() + 0x40 + sizeof code, message, sizeof message - 1);
    return b;
}

// The PE checksum: 16-bit words summed with end-around carry, plus the length.
std::uint32_t checksum(const Buffer& b, std::size_t fieldAt) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        if (i == fieldAt || i == fieldAt + 2) continue;
        sum += b[i] | (b[i + 1] << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + b.size());
}

}  // namespace

std::vector<std::uint8_t> writePe(const std::vector<Group>& groups, const Options& options) {
    std::vector<Resource> icons;
    std::vector<Resource> groupResources;
    for (const Group& g : groups) {
        if (icons.size() + g.images.size() > 0xFFFF) throw std::invalid_argument("too many images");
        groupResources.push_back(
            {g.name, g.id, groupData(g, static_cast<std::uint16_t>(icons.size() + 1))});
        for (const Image& image : g.images)
            icons.push_back({"", static_cast<std::uint32_t>(icons.size() + 1), image.bytes});
    }
    if (options.sortEntries) {
        std::stable_sort(groupResources.begin(), groupResources.end(),
                         [](const Resource& a, const Resource& b) {
                             if (a.name.empty() != b.name.empty()) return !a.name.empty();
                             if (!a.name.empty()) return upper(a.name) < upper(b.name);
                             return a.id < b.id;
                         });
    }
    const Buffer rsrc = resourceSection(icons, groupResources);
    const auto rsrcSize = static_cast<std::uint32_t>(rsrc.size());
    const std::uint32_t rawSize = alignUp(rsrcSize, kFileAlignment);
    const std::uint32_t headersSize = kFileAlignment;

    Buffer b = dosHeaderAndStub();
    b.resize(headersSize + rawSize, 0);
    std::size_t at = kPeOffset;
    std::memcpy(b.data() + at, "PE\0\0", 4);
    at += 4;
    const std::uint32_t optionalSize = options.pe32Plus ? 240 : 224;
    put16(b, at, options.pe32Plus ? 0x8664 : 0x014C);
    put16(b, at + 2, 1);
    put16(b, at + 16, optionalSize);
    std::uint32_t characteristics = 0x0002;                 // executable image
    characteristics |= options.pe32Plus ? 0x0020 : 0x0100;  // large addresses / 32-bit machine
    if (options.dll) characteristics |= 0x2000;
    put16(b, at + 18, characteristics);
    at += 20;

    const std::size_t opt = at;
    put16(b, opt, options.pe32Plus ? 0x20B : 0x10B);
    b[opt + 2] = 1;  // linker version
    put32(b, opt + 8, rawSize);
    const std::uint64_t imageBase = options.dll ? 0x10000000 : 0x400000;
    if (options.pe32Plus) {
        put64(b, opt + 24, imageBase);
    } else {
        put32(b, opt + 24, kResourceRva);  // base of data
        put32(b, opt + 28, static_cast<std::uint32_t>(imageBase));
    }
    put32(b, opt + 32, kSectionAlignment);
    put32(b, opt + 36, kFileAlignment);
    put16(b, opt + 40, 4);  // operating system version 4.0
    put16(b, opt + 44, 1);  // image version 1.0
    put16(b, opt + 48, 4);  // subsystem version 4.0
    put32(b, opt + 56, kResourceRva + alignUp(rsrcSize, kSectionAlignment));
    put32(b, opt + 60, headersSize);
    put16(b, opt + 68, 2);  // Windows GUI
    std::size_t directories;
    if (options.pe32Plus) {
        put64(b, opt + 72, 0x100000);
        put64(b, opt + 80, 0x1000);
        put64(b, opt + 88, 0x100000);
        put64(b, opt + 96, 0x1000);
        put32(b, opt + 108, 16);
        directories = opt + 112;
    } else {
        put32(b, opt + 72, 0x100000);
        put32(b, opt + 76, 0x1000);
        put32(b, opt + 80, 0x100000);
        put32(b, opt + 84, 0x1000);
        put32(b, opt + 92, 16);
        directories = opt + 96;
    }
    put32(b, directories + 2 * 8, kResourceRva);
    put32(b, directories + 2 * 8 + 4, rsrcSize);

    const std::size_t section = opt + optionalSize;
    std::memcpy(b.data() + section, ".rsrc\0\0\0", 8);
    put32(b, section + 8, rsrcSize);
    put32(b, section + 12, kResourceRva);
    put32(b, section + 16, rawSize);
    put32(b, section + 20, headersSize);
    put32(b, section + 36, 0x40000040);  // initialised data, readable

    std::copy(rsrc.begin(), rsrc.end(), b.begin() + headersSize);
    put32(b, opt + 64, checksum(b, opt + 64));
    return b;
}

std::vector<std::uint8_t> writeIco(const std::vector<Image>& images) {
    Buffer b(6 + 16 * images.size(), 0);
    put16(b, 2, 1);
    put16(b, 4, static_cast<std::uint32_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        putImageEntry(b, 6 + 16 * i, images[i]);
        put32(b, 6 + 16 * i + 12, static_cast<std::uint32_t>(b.size()));
        b.insert(b.end(), images[i].bytes.begin(), images[i].bytes.end());
    }
    return b;
}

}  // namespace pewriter
