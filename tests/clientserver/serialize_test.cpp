// The remote operation message layout, byte by byte, and the decoder's checks.
#include "vxs/clientserver/serialize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/clientserver/remoteops.h"

namespace vxs {
namespace {

std::vector<uint8_t> bytesOf(const RemoteMessage& m) {
    return {m.bytes.get(), m.bytes.get() + m.size};
}

int32_t word(const RemoteMessage& m, size_t i) {
    return messageWord(m.bytes.get(), i);
}

TEST(MessageLayout, IntegerTenByteStringInteger) {
    const char text[10] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', '\0'};
    const RemoteParam params[] = {rpInt(7), rpData(text, 10), rpInt(-3)};
    int error = 0;
    RemoteMessage m = buildRemoteMessage(63, ORIGIN, params, error);
    ASSERT_TRUE(m);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(m.size, 54u);
    EXPECT_EQ(word(m, 0), 54);    // total length
    EXPECT_EQ(word(m, 1), 1000);  // magic
    EXPECT_EQ(word(m, 2), 8);     // W = P + Z + 3 = 3 + 2 + 3
    EXPECT_EQ(word(m, 3), 63);    // operation
    EXPECT_EQ(word(m, 4), 0);     // direction: call
    EXPECT_EQ(word(m, 5), 3);     // parameters
    EXPECT_EQ(word(m, 6), 0);     // lengths: integer, 10 bytes, integer
    EXPECT_EQ(word(m, 7), 10);
    EXPECT_EQ(word(m, 8), 0);
    EXPECT_EQ(word(m, 9), 7);  // the integers, in parameter order
    EXPECT_EQ(word(m, 10), -3);
    EXPECT_EQ(memcmp(m.bytes.get() + 44, text, 10), 0);  // the string at byte 44
}

TEST(MessageLayout, NullDataPointerTravelsAsIntegerZero) {
    const RemoteParam params[] = {rpData(nullptr, 25)};
    int error = 0;
    RemoteMessage m = buildRemoteMessage(24, ORIGIN, params, error);
    ASSERT_TRUE(m);
    ASSERT_EQ(m.size, 12u + 4 * 5);
    EXPECT_EQ(word(m, 2), 5);  // one parameter, one integer
    EXPECT_EQ(word(m, 6), 0);  // length 0: an integer
    EXPECT_EQ(word(m, 7), 0);  // its value
}

TEST(MessageLayout, TextsCarryTheirLengthAndOneZeroByte) {
    // Bytes of value 0 inside a text are part of it; the zero after it is added on the way.
    const std::string inner("A\0B\0", 4);
    const RemoteParam params[] = {rpText(inner), rpText(""), rpText(std::string_view{})};
    int error = 0;
    RemoteMessage m = buildRemoteMessage(142, ORIGIN, params, error);
    ASSERT_TRUE(m);
    EXPECT_EQ(word(m, 6), 5);  // the four bytes and the zero
    EXPECT_EQ(word(m, 7), 1);  // an empty text is still a text: its zero byte
    EXPECT_EQ(word(m, 8), 0);  // a text without data travels as the integer 0
    DecodedMessage d;
    ASSERT_EQ(decodeRemoteMessage({m.bytes.get(), m.size}, d), kDecodeOk);
    EXPECT_EQ(paramText(d.params[0]), inner);
    EXPECT_EQ(paramText(d.params[1]), "");
    EXPECT_TRUE(d.params[1].isData());
    EXPECT_EQ(paramText(d.params[2]), "");
    EXPECT_FALSE(d.params[2].isData());
}

TEST(MessageLayout, NoParametersAndTheLimitOf150) {
    int error = 0;
    RemoteMessage empty = buildRemoteMessage(25, ORIGIN, {}, error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty.size, 24u);
    EXPECT_EQ(word(empty, 2), 3);

    std::vector<RemoteParam> many(150, rpInt(1));
    RemoteMessage full = buildRemoteMessage(3, ORIGIN, many, error);
    ASSERT_TRUE(full);
    EXPECT_EQ(full.size, 12u + 4 * (150 + 150 + 3));
    many.push_back(rpInt(1));
    RemoteMessage over = buildRemoteMessage(3, ORIGIN, many, error);
    EXPECT_FALSE(over);
    EXPECT_EQ(error, kBuildTooManyParams);
}

TEST(MessageDecode, RoundTripGivesTheParametersBack) {
    const char text[] = "hello";
    const RemoteParam params[] = {rpText(text), rpInt(42), rpData("xy", 2), rpInt(-1)};
    int error = 0;
    RemoteMessage m = buildRemoteMessage(141, IN_RESP, params, error);
    const std::vector<uint8_t> block = bytesOf(m);  // decoded parameters point into it
    DecodedMessage d;
    ASSERT_EQ(decodeRemoteMessage(block, d), kDecodeOk);
    EXPECT_EQ(d.op, 141);
    EXPECT_EQ(d.direction, IN_RESP);
    ASSERT_EQ(d.count, 4);
    EXPECT_EQ(d.params[0].length, 6u);
    EXPECT_STREQ(reinterpret_cast<const char*>(d.params[0].data), "hello");
    EXPECT_EQ(d.params[1].value, 42);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.params[2].data), 2), "xy");
    EXPECT_EQ(d.params[3].value, -1);
}

// Each way of damaging a good message must be refused, not read beyond the block.
TEST(MessageDecode, DamagedBlocksAreRefused) {
    const RemoteParam params[] = {rpInt(1), rpData("abcd", 4)};
    int error = 0;
    RemoteMessage m = buildRemoteMessage(3, ORIGIN, params, error);
    const std::vector<uint8_t> good = bytesOf(m);
    DecodedMessage d;
    ASSERT_EQ(decodeRemoteMessage(good, d), kDecodeOk);

    auto withWord = [&](size_t index, int32_t value) {
        std::vector<uint8_t> b = good;
        memcpy(b.data() + 4 * index, &value, 4);
        return b;
    };
    EXPECT_EQ(decodeRemoteMessage({good.data(), 10}, d), kDecodeNotMessage);
    EXPECT_EQ(decodeRemoteMessage(withWord(1, 999), d), kDecodeNotMessage);
    EXPECT_EQ(decodeRemoteMessage(withWord(5, 151), d), kDecodeTooManyParams);
    EXPECT_EQ(decodeRemoteMessage(withWord(5, -1), d), kDecodeTooManyParams);
    EXPECT_EQ(decodeRemoteMessage(withWord(0, 1000), d), kDecodeMalformed);  // wrong total
    EXPECT_EQ(decodeRemoteMessage(withWord(2, 100), d), kDecodeMalformed);   // W too large
    EXPECT_EQ(decodeRemoteMessage(withWord(7, 400), d), kDecodeMalformed);   // data past the end
    EXPECT_EQ(decodeRemoteMessage(withWord(7, -4), d), kDecodeMalformed);    // negative length
    EXPECT_EQ(decodeRemoteMessage(withWord(6, 4), d), kDecodeMalformed);     // lengths disagree
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(decodeRemoteMessage(longer, d), kDecodeMalformed);
}

}  // namespace
}  // namespace vxs
