// The INTERNAL file header: golden bytes in both byte orders, the header length rule, and
// damaged headers refused.
#include "vxs/datafiles/header.h"

#include <gtest/gtest.h>

#include <string>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

int decode(const std::string& bytes, InternalHeader& h) {
    return decodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), h);
}

TEST(InternalHeader, LengthRule) {
    EXPECT_EQ(headerLengthFor(64, 0, false), 65) << "one slot when it holds the fields";
    EXPECT_EQ(headerLengthFor(13, 0, false), 28) << "two slots of 14 reach 15";
    EXPECT_EQ(headerLengthFor(14, 0, false), 15);
    EXPECT_EQ(headerLengthFor(10, 2, false), 33) << "17 + 4n = 25: three slots of 11";
    EXPECT_EQ(headerLengthFor(10, 2, true), 33) << "29 still fits three slots";
    EXPECT_EQ(headerLengthFor(9, 2, true), 30);
    EXPECT_EQ(headerLengthFor(255, 6, false), 256);
    EXPECT_EQ(headerLengthFor(256, 0, false), 256) << "a slot over 256: the header is 256";
    EXPECT_EQ(headerLengthFor(4000, 1, false), 256);
    EXPECT_EQ(headerLengthFor(20, 1, false, kTypeBtree), 256);
}

TEST(InternalHeader, GoldenBytesBothOrders) {
    InternalHeader h;
    h.records = 0x01020304;
    h.version = 7;
    h.recl = 30;
    h.length = static_cast<int16_t>(headerLengthFor(30, 2, true));
    h.parts = 2;
    h.flags = kHeaderKeyFlags | kHeaderDeletedChain;
    h.keys[0] = {1, 10, kKeyUpper};
    h.keys[1] = {300, 4, 0};
    h.deletedHead = 0x00000105;
    const std::string le = encodeHeader(h);
    const std::string want =
        std::string("\x04\x03\x02\x01" "\x07\x00\x00\x00" "\x04" "\x1e\x00" "\x1f\x00" "\x02" "\x30"
                    "\x01\x00\x0a\x01" "\x2c\x01\x04\x00" "\x00\x00\x01\x05"
                    "\x00\x00\x00\x00",  // zeros up to the header length (31)
                    31);
    EXPECT_EQ(le, want);
    InternalHeader back;
    ASSERT_EQ(decode(le, back), 0);
    EXPECT_FALSE(back.swapped);
    EXPECT_EQ(back.records, h.records);
    EXPECT_EQ(back.keys[1].start, 300);
    EXPECT_EQ(back.deletedHead, 0x105u);
    EXPECT_EQ(encodeHeader(back), le) << "read back and written again: the same bytes";

    h.swapped = true;
    const std::string be = encodeHeader(h);
    EXPECT_EQ(be.substr(0, 15), std::string("\x01\x02\x03\x04" "\x00\x00\x00\x07" "\x04" "\x00\x1e"
                                            "\x00\x1f" "\x02" "\x30", 15));
    EXPECT_EQ(be.substr(23, 4), std::string("\x00\x00\x01\x05", 4)) << "the chain head is always high byte first";
    ASSERT_EQ(decode(be, back), 0);
    EXPECT_TRUE(back.swapped) << "a header length outside 15..256 means the other order";
    EXPECT_EQ(back.records, 0x01020304u);
    EXPECT_EQ(back.recl, 30);
    EXPECT_EQ(back.keys[1].start, 300);
    EXPECT_EQ(encodeHeader(back), be) << "kept in its own order";
}

TEST(InternalHeader, DamagedHeadersRefused) {
    InternalHeader h;
    h.recl = 40;
    h.length = 41;
    h.parts = 1;
    h.keys[0] = {1, 5, 0};
    const std::string good = encodeHeader(h);
    InternalHeader out;
    ASSERT_EQ(decode(good, out), 0);

    EXPECT_EQ(decode(good.substr(0, 14), out), kErrWrongFileType) << "too short";
    EXPECT_EQ(decode(good.substr(0, 30), out), kErrWrongFileType) << "header past the bytes";
    std::string bad = good;
    bad[8] = 5;
    EXPECT_EQ(decode(bad, out), kErrWrongFileType) << "not INTERNAL or B-tree";
    bad = good;
    bad[11] = 3;  // header length 3 in either order
    bad[12] = 3;
    EXPECT_EQ(decode(bad, out), kErrWrongFileType);
    bad = good;
    bad[13] = 7;
    EXPECT_EQ(decode(bad, out), kErrWrongFileType) << "seven key parts";
    bad = good;
    bad[14] = 2;
    EXPECT_EQ(decode(bad, out), kErrBadCollation);
    bad = good;
    bad[17] = 0;
    EXPECT_EQ(decode(bad, out), kErrWrongFileType) << "a key part of length 0";
    bad = good;
    bad[9] = 0;
    EXPECT_EQ(decode(bad, out), kErrWrongFileType) << "record length 0";
}

TEST(InternalHeader, Slots) {
    InternalHeader h;
    h.recl = 64;
    h.length = 65;
    EXPECT_EQ(slotOffset(h, 1), 65);
    EXPECT_EQ(slotOffset(h, 3), 65 + 2 * 65);
    EXPECT_FALSE(slotDeleted(kSlotLive));
    EXPECT_TRUE(slotDeleted(kSlotDeleted));
    EXPECT_TRUE(slotDeleted(0x40));
    EXPECT_TRUE(slotDeleted(0x04));

    // Whole slots of RECL + 1 after the header, not the size divided by RECL.
    EXPECT_EQ(slotsInFile(h, 65), 0u);
    EXPECT_EQ(slotsInFile(h, 65 + 3 * 65), 3u);
    EXPECT_EQ(slotsInFile(h, 65 + 3 * 65 + 64), 3u) << "a slot cut short is not a record";
    EXPECT_EQ(slotsInFile(h, 10), 0u) << "shorter than its header";
}

}  // namespace
}  // namespace vxs
