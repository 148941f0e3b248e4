// Fuzz target: a help file's bytes, as HELP and HELP$ read ktcmd.kth or a file HELPDFLT names.
// The checker either refuses the bytes with 4122 or 4123, or accepts them with every name, title
// and text inside the file; each topic it lists is found again by its name (in any case) with
// the same title and text, and the topics encode to a file that decodes to the same topics.
// The input is checked as it is and again with its checksum made right, so that the checks of
// the index are reached as often as the checksum's.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/debugger/helpfile.h"

namespace {

void check(std::span<const uint8_t> image) {
    std::vector<vxs::HelpEntry> entries;
    const int err = vxs::decodeHelpFile(image, entries);
    if (err != 0) {
        if ((err != vxs::kErrNotProgramFile && err != vxs::kErrKeyFileDamaged) || !entries.empty())
            abort();
        return;
    }
    const auto* begin = reinterpret_cast<const char*>(image.data());
    std::vector<vxs::HelpTopic> topics;
    for (const vxs::HelpEntry& e : entries) {
        for (std::string_view part : {e.name, e.title, e.text})
            if (part.data() < begin || part.data() + part.size() > begin + image.size()) abort();
        std::string lower(e.name);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        vxs::HelpTopic t;
        if (vxs::findHelpTopic(image, lower, t) != 0 || t.name != e.name || t.title != e.title ||
            t.text != e.text)
            abort();
        topics.push_back(std::move(t));
    }
    std::string again;
    if (vxs::encodeHelpFile(topics, again) != 0) abort();
    std::vector<vxs::HelpEntry> back;
    if (vxs::decodeHelpFile({reinterpret_cast<const uint8_t*>(again.data()), again.size()}, back) !=
            0 ||
        back.size() != entries.size())
        abort();
    for (size_t i = 0; i < back.size(); ++i)
        if (back[i].name != entries[i].name || back[i].title != entries[i].title ||
            back[i].text != entries[i].text)
            abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check({data, size});
    if (size >= vxs::kHelpHeaderBytes) {
        std::vector<uint8_t> fixed(data, data + size);
        const uint32_t crc =
            vxs::helpCrc32(std::span<const uint8_t>(fixed).subspan(vxs::kHelpHeaderBytes));
        for (int i = 0; i < 4; ++i)
            fixed[28 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
        check(fixed);
    }
    return 0;
}
