// The help file's encoder and checker (the layout is in helpfile.h).  A reader trusts nothing it
// has not checked: every offset and length is compared with the file's size before it is used,
// so a damaged or foreign file is an error number, never a read out of bounds.
#include "vxs/debugger/helpfile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

constexpr char kMagic[8] = {'V', 'X', 'H', 'E', 'L', 'P', '\r', '\n'};

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void put32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& out, size_t at, uint16_t v) {
    out[at] = static_cast<char>(v);
    out[at + 1] = static_cast<char>(v >> 8);
}

std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

std::string upperAscii(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

// A range [offset, offset + length) inside [start, size).
bool inside(uint32_t offset, uint32_t length, size_t start, size_t size) {
    return offset >= start && offset <= size && length <= size - offset;
}

}  // namespace

uint32_t helpCrc32(std::span<const uint8_t> bytes) {
    static const std::array<uint32_t, 256> table = crcTable();
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool validHelpName(std::string_view name) {
    if (name.empty() || name.size() > kHelpMaxName) return false;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x21 || c > 0x7E || (c >= 'a' && c <= 'z')) return false;
    }
    return true;
}

int encodeHelpFile(std::vector<HelpTopic> topics, std::string& out) {
    out.clear();
    if (topics.size() > kHelpMaxTopics) return kErrInvalidData;
    std::sort(topics.begin(), topics.end(),
              [](const HelpTopic& a, const HelpTopic& b) { return a.name < b.name; });
    size_t total = kHelpHeaderBytes + kHelpEntryBytes * topics.size();
    for (size_t i = 0; i < topics.size(); ++i) {
        const HelpTopic& t = topics[i];
        if (!validHelpName(t.name) || t.title.size() > kHelpMaxTitle ||
            t.text.size() > kHelpMaxText || (i > 0 && topics[i - 1].name == t.name))
            return kErrInvalidData;
        total += t.name.size() + t.title.size() + t.text.size();
        if (total > kHelpMaxFile) return kErrInvalidData;
    }
    out.assign(total, '\0');
    memcpy(out.data(), kMagic, sizeof kMagic);
    put16(out, 8, kHelpVersion);
    put16(out, 10, static_cast<uint16_t>(kHelpEntryBytes));
    put32(out, 12, static_cast<uint32_t>(topics.size()));
    put32(out, 16, static_cast<uint32_t>(kHelpHeaderBytes));
    size_t at = kHelpHeaderBytes + kHelpEntryBytes * topics.size();
    put32(out, 20, static_cast<uint32_t>(at));
    put32(out, 24, static_cast<uint32_t>(total));
    for (size_t i = 0; i < topics.size(); ++i) {
        const size_t entry = kHelpHeaderBytes + kHelpEntryBytes * i;
        const std::string* parts[3] = {&topics[i].name, &topics[i].title, &topics[i].text};
        for (size_t p = 0; p < 3; ++p) {
            put32(out, entry + 8 * p, static_cast<uint32_t>(at));
            put32(out, entry + 8 * p + 4, static_cast<uint32_t>(parts[p]->size()));
            if (!parts[p]->empty()) memcpy(out.data() + at, parts[p]->data(), parts[p]->size());
            at += parts[p]->size();
        }
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
    put32(out, 28, helpCrc32({bytes + kHelpHeaderBytes, total - kHelpHeaderBytes}));
    return 0;
}

int decodeHelpFile(std::span<const uint8_t> image, std::vector<HelpEntry>& entries) {
    entries.clear();
    const uint8_t* p = image.data();
    const size_t size = image.size();
    if (size < kHelpHeaderBytes || size > kHelpMaxFile || memcmp(p, kMagic, sizeof kMagic) != 0 ||
        get16(p + 8) != kHelpVersion || get16(p + 10) != kHelpEntryBytes)
        return kErrNotProgramFile;
    const uint32_t count = get32(p + 12);
    const uint32_t indexAt = get32(p + 16);
    const uint32_t textAt = get32(p + 20);
    if (count > kHelpMaxTopics || indexAt != kHelpHeaderBytes ||
        textAt != kHelpHeaderBytes + kHelpEntryBytes * count || textAt > size ||
        get32(p + 24) != size || get32(p + 28) != helpCrc32(image.subspan(kHelpHeaderBytes)))
        return kErrKeyFileDamaged;
    std::vector<HelpEntry> out;
    out.reserve(count);
    const size_t limits[3] = {kHelpMaxName, kHelpMaxTitle, kHelpMaxText};
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = p + kHelpHeaderBytes + kHelpEntryBytes * i;
        std::string_view parts[3];
        for (size_t k = 0; k < 3; ++k) {
            const uint32_t offset = get32(e + 8 * k), length = get32(e + 8 * k + 4);
            if (length > limits[k] || !inside(offset, length, textAt, size))
                return kErrKeyFileDamaged;
            parts[k] = {reinterpret_cast<const char*>(p) + offset, length};
        }
        if (!validHelpName(parts[0]) || (i > 0 && !(out.back().name < parts[0])))
            return kErrKeyFileDamaged;
        out.push_back({parts[0], parts[1], parts[2]});
    }
    entries = std::move(out);
    return 0;
}

int findHelpTopic(std::span<const uint8_t> image, std::string_view name, HelpTopic& topic) {
    std::vector<HelpEntry> entries;
    if (int err = decodeHelpFile(image, entries)) return err;
    const std::string key = upperAscii(name);
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), key,
        [](const HelpEntry& e, const std::string& k) { return e.name < std::string_view(k); });
    if (it == entries.end() || it->name != key) return kErrKeyNotFound;
    topic.name.assign(it->name);
    topic.title.assign(it->title);
    topic.text.assign(it->text);
    return 0;
}

}  // namespace vxs
