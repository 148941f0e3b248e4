// The help file's stored format (ktcmd.kth and any file HELPDFLT names): a header, an index of
// topics sorted by name, and the topics' names, titles and texts.  Encoded and checked here only;
// help.h finds the file and shows a topic, tools/helpgen makes ktcmd.kth from the documentation.
//
// All integers are little-endian.  docs/help-file.md has the same tables.
//
// Header (32 bytes):
//   OFFSET  SIZE  MEANING
//        0     8  magic: the bytes "VXHELP" 0x0D 0x0A (a transfer that changes line ends spoils it)
//        8     2  format version: 1
//       10     2  size of one index entry: 24
//       12     4  N, the number of topics (at most 65535)
//       16     4  offset of the index: 32
//       20     4  offset of the text area: 32 + 24 * N
//       24     4  size of the whole file, at most 16 MiB
//       28     4  CRC-32 (the polynomial of zlib and PNG) of every byte from offset 32 to the end
//
// Index entry (24 bytes; N of them, in strictly ascending byte order of their names):
//   OFFSET  SIZE  MEANING
//        0     4  offset of the topic's name in the file
//        4     4  length of the name: 1 to 64 bytes, each 0x21 to 0x7E but not a to z
//        8     4  offset of the title
//       12     4  length of the title: 0 to 200 bytes
//       16     4  offset of the text (lines ended by a line feed, plain ASCII as made here)
//       20     4  length of the text: at most 1 MiB
//
// Every name, title and text lies inside the text area.  The encoder writes each topic's name,
// title and text one after the other, topics in index order, without gaps; a reader relies only
// on the offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

inline constexpr size_t kHelpHeaderBytes = 32;
inline constexpr size_t kHelpEntryBytes = 24;
inline constexpr uint16_t kHelpVersion = 1;
inline constexpr size_t kHelpMaxName = 64;
inline constexpr size_t kHelpMaxTitle = 200;
inline constexpr size_t kHelpMaxText = 1u << 20;
inline constexpr size_t kHelpMaxTopics = 65535;
inline constexpr size_t kHelpMaxFile = 16u << 20;

struct HelpTopic {
    std::string name;   // upper case, as the index holds it
    std::string title;  // one line naming the topic
    std::string text;   // the topic's lines, each ended by "\n"
};

// Whether `name` may name a topic: 1 to 64 bytes 0x21..0x7E, none of them a to z.
bool validHelpName(std::string_view name);

// Encodes `topics` (in any order) as a help file in `out`.  Returns 0, or 4513 (invalid data)
// for a name that is not valid or given twice, a title or text over its limit, too many topics
// or a file over 16 MiB.
[[nodiscard]] int encodeHelpFile(std::vector<HelpTopic> topics, std::string& out);

// One topic of a checked image: views into the image.
struct HelpEntry {
    std::string_view name, title, text;
};

// Checks the whole image and lists its topics in index order.  Returns 0; 4122 when it is not a
// help file of this format (too short for a header, another magic, another version or entry
// size); 4123 when it is one but damaged (its size, checksum, an offset or length out of place,
// names unsorted or not valid).  On failure `entries` is empty.
[[nodiscard]] int decodeHelpFile(std::span<const uint8_t> image, std::vector<HelpEntry>& entries);

// Finds topic `name` (compared in upper case) in the image.  Returns 0 with the topic; 4122 or
// 4123 as decodeHelpFile; 4272 when the file has no such topic.
[[nodiscard]] int findHelpTopic(std::span<const uint8_t> image, std::string_view name,
                                HelpTopic& topic);

// The CRC-32 of the bytes (initial value 0xFFFFFFFF, reflected polynomial 0xEDB88320, the result
// inverted): 0xCBF43926 for "123456789".
uint32_t helpCrc32(std::span<const uint8_t> bytes);

}  // namespace vxs
