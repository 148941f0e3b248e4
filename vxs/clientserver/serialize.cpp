// Encoding and decoding of remote operation messages (see serialize.h for the layout).
#include "vxs/clientserver/serialize.h"

#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {
void putWord(uint8_t* bytes, size_t index, int32_t w) {
    memcpy(bytes + 4 * index, &w, sizeof w);
}
}  // namespace

RemoteMessage buildRemoteMessage(int32_t op, int32_t direction, std::span<const RemoteParam> params,
                                 int& error) {
    error = 0;
    if (params.size() > kMaxRemoteParams) {
        error = kBuildTooManyParams;
        return {};
    }
    const size_t count = params.size();
    size_t integers = 0;
    uint64_t dataBytes = 0;
    for (const RemoteParam& p : params) {
        if (p.wireLength() == 0)
            ++integers;
        else
            dataBytes += p.wireLength();
    }
    const size_t words = count + integers + 3;
    const uint64_t total = 12 + 4 * words + dataBytes;
    if (total > INT32_MAX) {
        error = kBuildTooManyParams;
        return {};
    }
    RemoteMessage msg;
    msg.bytes.reset(new (std::nothrow) uint8_t[total]);
    if (!msg.bytes) {
        error = kErrNoMemory;
        return {};
    }
    msg.size = static_cast<uint32_t>(total);
    uint8_t* b = msg.bytes.get();
    putWord(b, 0, static_cast<int32_t>(total));
    putWord(b, 1, kMessageMagic);
    putWord(b, 2, static_cast<int32_t>(words));
    putWord(b, 3, op);
    putWord(b, 4, direction);
    putWord(b, 5, static_cast<int32_t>(count));
    size_t intWord = 6 + count;
    uint8_t* data = b + 12 + 4 * words;
    for (size_t i = 0; i < count; ++i) {
        const RemoteParam& p = params[i];
        const uint32_t length = p.wireLength();
        putWord(b, 6 + i, static_cast<int32_t>(length));
        if (length != 0) {
            if (p.length != 0) memcpy(data, p.data, p.length);
            if (p.terminated) data[p.length] = 0;
            data += length;
        } else {
            putWord(b, intWord++, p.data == nullptr && p.length != 0 ? 0 : p.value);
        }
    }
    return msg;
}

int decodeRemoteMessage(std::span<const uint8_t> block, DecodedMessage& out) {
    if (block.size() < kMessageHeaderBytes) return kDecodeNotMessage;
    const uint8_t* b = block.data();
    if (messageWord(b, 1) != kMessageMagic) return kDecodeNotMessage;
    const int32_t total = messageWord(b, 0);
    const int32_t words = messageWord(b, 2);
    const int32_t count = messageWord(b, 5);
    if (count < 0 || count > kMaxRemoteParams) return kDecodeTooManyParams;
    if (total < 0 || static_cast<size_t>(total) != block.size()) return kDecodeMalformed;
    if (words < count + 3 || words > 2 * count + 3) return kDecodeMalformed;
    const size_t dataStart = 12 + 4 * static_cast<size_t>(words);
    if (dataStart > block.size()) return kDecodeMalformed;

    out.op = messageWord(b, 3);
    out.direction = messageWord(b, 4);
    out.count = count;
    size_t intWord = 6 + static_cast<size_t>(count);
    size_t dataPos = dataStart;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t len = messageWord(b, 6 + static_cast<size_t>(i));
        DecodedParam& p = out.params[i];
        if (len < 0) return kDecodeMalformed;
        if (len == 0) {
            if (intWord >= static_cast<size_t>(words) + 3) return kDecodeMalformed;
            p = {0, nullptr, messageWord(b, intWord++)};
        } else {
            if (static_cast<size_t>(len) > block.size() - dataPos) return kDecodeMalformed;
            p = {static_cast<uint32_t>(len), b + dataPos, 0};
            dataPos += static_cast<size_t>(len);
        }
    }
    // The words must be exactly the integers, and the data exactly the data parameters.
    if (intWord != static_cast<size_t>(words) + 3 || dataPos != block.size())
        return kDecodeMalformed;
    return kDecodeOk;
}

}  // namespace vxs
