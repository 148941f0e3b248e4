// The parameters of the INDEX utility in their two forms: the command line (after the word
// INDEX: data file, key file, key starts and lengths, then options abbreviated to at least three
// letters) and procedure lines (one KEYWORD=value each, a parameter set ended by ENDLINK or CONT).
#pragma once

#include <string>
#include <string_view>

#include "vxs/datafiles/openstr.h"

namespace vxs {

struct IndexParams {
    std::string dataFile, keyFile;
    // MASVOLID= and IDXVOLID=: the directories of the data and key files (empty: as named).
    std::string dataDir, keyDir;
    // The names with their directories.
    std::string dataName() const { return inDirectory(dataDir, dataFile); }
    std::string keyName() const { return inDirectory(keyDir, keyFile); }
    static std::string inDirectory(const std::string& dir, const std::string& name) {
        if (dir.empty()) return name;
        return dir.back() == '/' || dir.back() == '\\' ? dir + name : dir + "/" + name;
    }
    std::string workDir;  // "-dir" or "-dir/n": where the work file goes (empty: the work path)
    int workDrive = 0;    // n of "-dir/n" (1..9), 0 without
    KeyPart keys[kMaxKeyParts];
    int starts = 0, lengths = 0;  // key starts and lengths given
    bool replace = false, dupKeys = false, listDupKeys = false, badKeys = false,
         listBadKeys = false, reorg = false, verify = false, native = false;
    bool quiet = false;     // -N
    bool tempFile = false;  // -M: the key file made as a temporary random-access file
    int share = kShareNone;  // SHR, SHRI: how the data file is read
    int keyType = 0;         // 4 ISAM, 7 BTREE; 0: the configured default
    std::string listing;     // ">name" or ">>name" (PRN: for the printer)
    bool listingAppends = false;
    int keyParts() const { return starts; }
};

// The command tail: upper-cased, split at blanks and commas, at most 119 characters taken.
// 7604 when it is empty, 7605 for an unknown option or key description (or starts and lengths
// of different counts), 7610/7611/7612 for a data file, key file or work directory name over 512.
[[nodiscard]] int parseIndexCommand(std::string_view tail, IndexParams& p);

// One procedure line into the parameter set (KEYSTART= and KEYLGTH= add one part each; "!"
// starts a comment).  `end` becomes 1 after ENDLINK, 2 after CONT (the set is complete); 1006
// for a line that is none of the keywords, 7605 for a bad key part.
[[nodiscard]] int parseIndexProcedureLine(std::string_view line, IndexParams& p, int& end);

// The parameter set once complete: 7604 without a data file, 7605 for starts and lengths of
// different counts, the name-length errors.
[[nodiscard]] int checkIndexParams(const IndexParams& p);

}  // namespace vxs
