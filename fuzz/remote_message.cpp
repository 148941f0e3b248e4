// Fuzz target: remote operation messages from outside the process.  The decoder must reject
// every malformed block without reading beyond it, and every block it accepts must rebuild to
// the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vxs/clientserver/serialize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copy into an exactly sized block so that a read past its end is caught.
    std::vector<uint8_t> block(data, data + size);
    static vxs::DecodedMessage msg;
    if (vxs::decodeRemoteMessage(block, msg) != vxs::kDecodeOk) return 0;

    std::vector<vxs::RemoteParam> params;
    for (int i = 0; i < msg.count; ++i) {
        const vxs::DecodedParam& p = msg.params[i];
        params.push_back(p.isData() ? vxs::rpData(p.data, p.length) : vxs::rpInt(p.value));
    }
    int error = 0;
    vxs::RemoteMessage rebuilt = vxs::buildRemoteMessage(msg.op, msg.direction, params, error);
    if (!rebuilt || rebuilt.size != size || memcmp(rebuilt.bytes.get(), block.data(), size) != 0)
        abort();
    return 0;
}
