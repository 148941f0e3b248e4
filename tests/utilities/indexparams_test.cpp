// INDEX parameters: the command line with its positional words, abbreviated options and special
// words, and procedure lines with their keywords, comments and the end of a parameter set.
#include "vxs/utilities/indexparams.h"

#include <gtest/gtest.h>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

TEST(IndexCommand, PositionalWordsKeyPartsAndOptions) {
    IndexParams p;
    ASSERT_EQ(parseIndexCommand("cust.dat, cust.key 1/30u 6/4 rep dupk -n >>dups.txt -work/3 shri",
                                p), 0);
    // Names keep the case typed: the name mapping decides what case a relative name takes.
    EXPECT_EQ(p.dataFile, "cust.dat");
    EXPECT_EQ(p.keyFile, "cust.key");
    ASSERT_EQ(p.keyParts(), 2);
    EXPECT_EQ(p.keys[0].start, 1);
    EXPECT_EQ(p.keys[1].start, 30);
    EXPECT_EQ(p.keys[1].flags, kKeyUpper);
    EXPECT_EQ(p.keys[1].length, 4);
    EXPECT_TRUE(p.replace);
    EXPECT_TRUE(p.dupKeys);
    EXPECT_TRUE(p.quiet);
    EXPECT_EQ(p.listing, "dups.txt");
    EXPECT_TRUE(p.listingAppends);
    EXPECT_EQ(p.workDir, "work");
    EXPECT_EQ(p.workDrive, 3);
    EXPECT_EQ(p.share, kShareInput);
    // "LIS" is LISTDUPKEYS, the first option it starts; "SHR" is SHR, not SHRI.
    ASSERT_EQ(parseIndexCommand("a b 1 2 LIS SHR ISAM", p), 0);
    EXPECT_TRUE(p.listDupKeys);
    EXPECT_FALSE(p.listBadKeys);
    EXPECT_EQ(p.share, kShareAll);
    EXPECT_EQ(p.keyType, 4);
    // Without key parts: VERIFY of an existing key file takes them from the file.
    ASSERT_EQ(parseIndexCommand("a.dat a.key verify", p), 0);
    EXPECT_TRUE(p.verify);
    EXPECT_EQ(p.keyParts(), 0);
}

TEST(IndexCommand, RefusesWhatItDoesNotKnow) {
    IndexParams p;
    EXPECT_EQ(parseIndexCommand("", p), kErrNoParameters);
    EXPECT_EQ(parseIndexCommand("   ,  ", p), kErrNoParameters);
    EXPECT_EQ(parseIndexCommand("a b 1/5 2", p), kErrBadOption);  // two starts, one length
    EXPECT_EQ(parseIndexCommand("a b 1 2 RE", p), kErrBadOption);  // too short to tell
    EXPECT_EQ(parseIndexCommand("a b 1 2 REPLACEX", p), kErrBadOption);
    EXPECT_EQ(parseIndexCommand("a b 1x 2", p), kErrBadOption);
    EXPECT_EQ(parseIndexCommand("a b 1 2 >", p), kErrBadOption);
    // Only the first 119 characters count: an option beyond them is not seen.
    ASSERT_EQ(parseIndexCommand(std::string(119 - 6, 'A') + " B.KEY REPLACE", p), 0);
    EXPECT_FALSE(p.replace);
}

TEST(IndexProcedure, KeywordLinesMakeAParameterSet) {
    IndexParams p;
    int end = 0;
    for (const char* line : {"MASFILE=cust.dat ! the customers", "IDXFILE=cust.key", "KEYSTART=1",
                             "KEYLGTH=6", "KEYSTART=30U", "KEYLGTH=4", "DUPKEY=Y", "REPLIDXFILE=N",
                             "WRKVOLID=/tmp", "WRKDRVNO=2", "CHOICE=3", "! only a comment", "BTREE",
                             "LISTBADKEYS", "MASVOLID=/data/", "IDXVOLID=keys"}) {
        ASSERT_EQ(parseIndexProcedureLine(line, p, end), 0) << line;
        EXPECT_EQ(end, 0);
    }
    EXPECT_EQ(p.dataFile, "cust.dat");  // names keep their case
    EXPECT_EQ(p.dataName(), "/data/cust.dat");
    EXPECT_EQ(p.keyName(), "keys/cust.key");
    ASSERT_EQ(p.keyParts(), 2);
    EXPECT_EQ(p.keys[1].start, 30);
    EXPECT_EQ(p.keys[1].flags, kKeyUpper);
    EXPECT_EQ(p.keys[1].length, 4);
    EXPECT_TRUE(p.dupKeys);
    EXPECT_FALSE(p.replace);
    EXPECT_EQ(p.workDir, "/tmp");
    EXPECT_EQ(p.workDrive, 2);
    EXPECT_EQ(p.keyType, 7);
    EXPECT_TRUE(p.listBadKeys);
    EXPECT_EQ(checkIndexParams(p), 0);
    ASSERT_EQ(parseIndexProcedureLine("ENDLINK", p, end), 0);
    EXPECT_EQ(end, 1);
    ASSERT_EQ(parseIndexProcedureLine("CONT", p, end), 0);
    EXPECT_EQ(end, 2);
    EXPECT_EQ(parseIndexProcedureLine("NOSUCH=1", p, end), kErrUnrecognized);
    EXPECT_EQ(parseIndexProcedureLine("KEYSTART=x", p, end), kErrBadOption);
    EXPECT_EQ(parseIndexProcedureLine("WRKDRVNO=12", p, end), kErrBadOption);
    IndexParams none;
    EXPECT_EQ(checkIndexParams(none), kErrNoParameters);
    none.dataFile = std::string(513, 'd');
    EXPECT_EQ(checkIndexParams(none), kErrDataNameLength);
}

}  // namespace
}  // namespace vxs
