// The OPEN string: a comma-separated list of keyword items parsed into the work record that OPEN
// fills its file control blocks from.  Only the text is checked here; what depends on the file
// type, mode and access (the trailing keywords of the statement) is OPEN's to check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vxs/indexes/keybuild.h"

namespace vxs {

inline constexpr size_t kMaxOpenValue = 511;  // longer text values are 600

// Share keywords as OPEN and the open parameter block give them.
enum OpenShare : uint8_t { kShareNone = 0, kShareInput = 1, kShareAll = 3 };
// Creation keywords.
enum OpenCreate : uint8_t { kCreateNone = 0, kCreateNew = 1, kCreateReplace = 2, kCreateUse = 3 };
// Line ends of DISPLAY files.
enum OpenEol : uint8_t { kEolNone = 0, kEolLf = 1, kEolCrlf = 2 };

// The work record, with the defaults an OPEN starts from.
struct OpenSpec {
    std::string name;                // NAME=
    int recl = 0;                    // RECL=; 0 when not given
    bool sizeGiven = false;          // SIZE= (its value has no effect)
    bool async = false;              // FORMAT=ASYNC
    int pageOverflow = -1;           // PAGEOFLOW=; -1: the configured default
    bool kfnameGiven = false;
    std::string kfname;              // KFNAME=
    int kpsCount = 0, klnCount = 0;  // parts given by KPS= and KLN=
    KeyPart keys[kMaxKeyParts];
    uint8_t share = kShareNone;
    bool shareGiven = false;
    bool reserve = false;
    uint8_t create = kCreateNone;
    std::string translate;           // TRANSLATE=
    int baud = 1200;
    char parity = 'N';
    int dataBits = 8, stopBits = 1;
    int wait = 15;                   // WAIT= seconds for a record lock
    int retry = 5;                   // RETRY=
    uint8_t eol = kEolCrlf;
    int bufSize = 2000;
    bool noClose = false;
    char conv = 0;                   // CONV=
    bool versionGiven = false;
    int version = 0;
    int keyType = 0;                 // 4 ISAM, 7 BTREE; 0: the configured default
    bool linked = false;
    int copies = 1;
    std::string printer, printerType;  // PRINTER=, PRINTER_TYPE=
    bool objectGiven = false;
    std::string object;              // OBJECT=
    std::string linkage;             // LINKAGE=
    std::string host;                // HOST=
    // The window keywords in the order given (keyword with its "=", and the value as written);
    // any of them makes a DISPLAY open a window.
    std::vector<std::pair<std::string, std::string>> window;
    // The number of key parts: the longer of the two lists.
    int keyParts() const { return kpsCount > klnCount ? kpsCount : klnCount; }
};

// Parses an OPEN string.  `printerKeyword` allows PRINTER= (OPTION 47).  Returns 0, 605 for an
// item that matches no keyword, a bad value, text after a value, two creation keywords, or NEW
// or USE after SIZE=; 600 for a text value longer than 511 characters.
[[nodiscard]] int parseOpenString(std::string_view text, bool printerKeyword, OpenSpec& out);

// A list of key parts as KPS= and KLN= (and the INDEX utility) give them: up to six numbers
// separated by "/", each followed by any of the letters U, Y, B and P (joined into the part's
// flags); parts past the sixth are not read.  Starts or lengths into `keys`, their number into
// `count`; 605 for anything else.
[[nodiscard]] int parseKeyList(std::string_view value, bool starts, KeyPart (&keys)[kMaxKeyParts],
                               int& count);

}  // namespace vxs
