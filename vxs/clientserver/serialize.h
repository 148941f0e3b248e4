// The remote operation message: building it from (length, value) parameters and decoding it.
//
// One heap block of 32-bit words (machine byte order) followed by bytes:
//
//   OFFSET      SIZE  MEANING
//   0           4     total length of the block in bytes
//   4           4     the constant 1000
//   8           4     W = P + Z + 3: words from word 3 up to the data area
//   12          4     operation number
//   16          4     direction: 0 call (ORIGIN), 1 reply (IN_RESP)
//   20          4     P, the number of parameters (0..150)
//   24          4*P   one length word per parameter: data bytes, or 0 for an integer
//   24+4P       4*Z   the integer parameters' values, in parameter order
//   12+4W       ...   the data parameters' bytes, concatenated in parameter order
//
// The total length is 12 + 4*W + the sum of the data lengths.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

namespace vxs {

inline constexpr int32_t kMessageMagic = 1000;
inline constexpr int kMaxRemoteParams = 150;
inline constexpr size_t kMessageHeaderBytes = 24;

// One parameter as the caller supplies it: a nonzero length with a non-null pointer is a data
// parameter; anything else travels as the integer `value` (a null pointer as 0).  A text
// (`terminated`) travels as its bytes and one zero byte after them, so its length on the way is
// one more than `length` and an empty text is still a data parameter.
struct RemoteParam {
    uint32_t length = 0;
    const void* data = nullptr;
    int32_t value = 0;
    bool terminated = false;
    // The bytes the parameter occupies in the data area (0 for an integer).
    uint32_t wireLength() const {
        if (data == nullptr) return 0;
        return terminated ? length + 1 : length;
    }
};
inline RemoteParam rpInt(int32_t v) {
    return {0, nullptr, v};
}
inline RemoteParam rpData(const void* p, uint32_t n) {
    return {n, p, 0};
}
// A text travels with its length, followed by a zero byte: bytes of value 0 inside it are
// carried like any other.  A null text (a view without data) travels as the integer 0.
inline RemoteParam rpText(std::string_view s) {
    return {static_cast<uint32_t>(s.size()), s.data(), 0, true};
}

struct RemoteMessage {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t size = 0;
    explicit operator bool() const { return bytes != nullptr; }
};

// Builds a message.  The block is empty (no bytes) when memory cannot be allocated or the
// parameters cannot form a message (more than 150, or data beyond 2 GiB): `error` tells which
// (kErrNoMemory or kBuildTooManyParams).
inline constexpr int kBuildTooManyParams = -1;
RemoteMessage buildRemoteMessage(int32_t op, int32_t direction, std::span<const RemoteParam> params,
                                 int& error);

// A decoded parameter: data parameters point into the message block.
struct DecodedParam {
    uint32_t length = 0;  // 0 for an integer
    const uint8_t* data = nullptr;
    int32_t value = 0;
    bool isData() const { return length != 0; }
};

// A data parameter's bytes as they travel (an integer parameter: none).
inline std::string_view paramBytes(const DecodedParam& p) {
    if (!p.isData()) return {};
    return {reinterpret_cast<const char*>(p.data), p.length};
}

// A data parameter as text: its bytes without the zero byte a text travels with (bytes of value 0
// before it belong to the text).  An integer parameter is an empty text.
inline std::string_view paramText(const DecodedParam& p) {
    std::string_view text = paramBytes(p);
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return text;
}

struct DecodedMessage {
    int32_t op = 0;
    int32_t direction = 0;
    int32_t count = 0;
    DecodedParam params[kMaxRemoteParams];
};

// Decoding results.
inline constexpr int kDecodeOk = 0;
inline constexpr int kDecodeNotMessage = 1;     // too short, or word 1 is not 1000
inline constexpr int kDecodeTooManyParams = 2;  // P above 150
inline constexpr int kDecodeMalformed = 3;      // lengths and words do not agree with the block

// Decodes and checks a block.  Every length is checked against the block, so a block from
// outside the process cannot make the decoder read beyond it.
int decodeRemoteMessage(std::span<const uint8_t> block, DecodedMessage& out);

// Reads 32-bit word `index` of a block (machine byte order); the caller checks the size.
inline int32_t messageWord(const uint8_t* bytes, size_t index) {
    int32_t w;
    memcpy(&w, bytes + 4 * index, sizeof w);
    return w;
}

}  // namespace vxs
