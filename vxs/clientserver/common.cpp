// The remote operation layer's slot, dispatcher, handler table and counters (see common.h).
#include "vxs/clientserver/common.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/base/version.h"
#include "vxs/base/logger.h"

namespace vxs {

namespace {

std::array<RemoteHandler, kRemoteOpLimit> g_handlers{};
std::array<RemoteCounters, kRemoteOpLimit> g_counters{};
RemoteMessage g_slot;  // the message most recently built and not yet dispatched
bool g_dispatchFlag = false;
RemoteServerHooks g_hooks;

int onVersionCheck(const DecodedMessage& msg, std::span<const RemoteOut>) {
    if (msg.count < 1 || !msg.params[0].isData()) return 1;
    const DecodedParam& p = msg.params[0];
    const std::string text(paramText(p));
    return checkVersion(text.c_str());
}

int onKeysAvailable(const DecodedMessage&, std::span<const RemoteOut>) {
    if (g_hooks.keysAvailable) g_hooks.keysAvailable();
    return 0;
}

int onExitRequest(const DecodedMessage& msg, std::span<const RemoteOut>) {
    if (msg.count < 1 || msg.params[0].isData()) return 1;
    int32_t status = msg.params[0].value;
    if (g_hooks.exitRequest) status = g_hooks.exitRequest(status);
    return CallFunctionRemote(EXITREQUESTRET, IN_RESP, {rpInt(status)});
}

// The interpreter side's own handlers: every reply, and what the terminal side sends.
void installServerHandlers() {
#define VX_REMOTE_REPLY(number, name, meaning) \
    if constexpr (std::string_view(#name).ends_with("RET")) g_handlers[number] = deliverReply;
    VX_REMOTE_OPERATIONS(VX_REMOTE_REPLY)
#undef VX_REMOTE_REPLY
    g_handlers[VERSIONCHECK] = onVersionCheck;
    g_handlers[KEYSAVAILABLE] = onKeysAvailable;
    g_handlers[EXITREQUESTCALL] = onExitRequest;
}

struct ServerHandlersInstaller {
    ServerHandlersInstaller() { installServerHandlers(); }
} g_installer;

// Runs one message through its handler.  Returns the handler's result; sets `handled` when the
// message was the awaited reply.
int dispatchOne(RemoteMessage msg, int32_t expected, std::span<const RemoteOut> outs,
                bool& handled) {
    DecodedMessage local;
    int rc = decodeRemoteMessage({msg.bytes.get(), msg.size}, local);
    if (rc == kDecodeNotMessage) return 0;  // not a message of ours: dropped
    if (rc == kDecodeTooManyParams) vxassertion("parms <= 150", __FILE__, __LINE__);
    if (rc != kDecodeOk) vxassertion("well-formed Client-Server message", __FILE__, __LINE__);
    const bool isReply = local.direction == IN_RESP;
    if (expected != 0 && isReply && local.op != expected) {
        char text[128];
        snprintf(text, sizeof text, "Reply actions do not match received %i, expeced %i", local.op,
                 expected);
        vxassertion(text, __FILE__, __LINE__);
    }
    if (local.op <= 0 || local.op >= kRemoteOpLimit || g_handlers[local.op] == nullptr) {
        fatalError("Undefined function in common.cpp", 99, 0);
        return 1;
    }
    ++g_counters[local.op].total;
    ++g_counters[local.op].sinceReset;
    const bool awaited = expected != 0 && isReply && local.op == expected;
    rc = g_handlers[local.op](local, awaited ? outs : std::span<const RemoteOut>{});
    if (awaited) handled = true;
    return rc;
}

}  // namespace

int CallFunctionRemote(int32_t op, int32_t direction, std::span<const RemoteParam> params) {
    if (params.size() > kMaxRemoteParams) vxassertion("parms <= 150", __FILE__, __LINE__);
    int error = 0;
    RemoteMessage msg = buildRemoteMessage(op, direction, params, error);
    if (!msg) {
        // Reported, not fatal: a call without a reply is lost; a receiver finds no reply.
        vxlog(kLogFatal, "vxassertion (%s) failed in %s line %i.",
              "Error allocating memory for Client-Server message.", __FILE__, __LINE__);
        return 0;
    }
    if (direction != ORIGIN) {
        g_slot = std::move(msg);  // a reply waits in the slot for its receiver
        return 0;
    }
    g_dispatchFlag = !g_dispatchFlag;
    bool handled = false;
    int rc = dispatchOne(std::move(msg), 0, {}, handled);
    g_dispatchFlag = !g_dispatchFlag;
    return rc;
}

int ReceiveFunctionRemote(int32_t expected, std::span<const RemoteOut> outs) {
    bool handled = false;
    while (!handled) {
        if (!g_slot) return 1;  // nothing answered
        int rc = dispatchOne(std::move(g_slot), expected, outs, handled);
        if (rc != 0) return rc;
    }
    return 0;
}

int deliverReply(const DecodedMessage& msg, std::span<const RemoteOut> outs) {
    if (outs.empty()) return 0;  // a reply nobody waits for
    for (int32_t i = 0; i < msg.count && static_cast<size_t>(i) < outs.size(); ++i) {
        const DecodedParam& p = msg.params[i];
        const RemoteOut& o = outs[static_cast<size_t>(i)];
        if (o.data) {
            // An integer where text was expected is an empty text (a null pointer on the way).
            o.data->assign(paramBytes(p));
        } else if (o.value) {
            if (p.isData()) return 1;
            *o.value = p.value;
        }
    }
    return static_cast<size_t>(msg.count) < outs.size() ? 1 : 0;
}

void setRemoteHandler(int op, RemoteHandler handler) {
    if (op <= 0 || op >= kRemoteOpLimit) vxassertion("op < kRemoteOpLimit", __FILE__, __LINE__);
    g_handlers[op] = handler;
}

RemoteHandler remoteHandler(int op) {
    return op > 0 && op < kRemoteOpLimit ? g_handlers[op] : nullptr;
}

void resetRemoteHandlers() {
    g_handlers.fill(nullptr);
    installServerHandlers();
}

RemoteCounters remoteCounters(int op) {
    return op > 0 && op < kRemoteOpLimit ? g_counters[op] : RemoteCounters{};
}

void resetRemoteCounters() {
    for (RemoteCounters& c : g_counters) c.sinceReset = 0;
}

bool remoteDispatchFlag() {
    return g_dispatchFlag;
}

int checkVersion(const char* other) {
    if (strcmp(other, kVersionText) != 0) {
        char text[512];
        snprintf(text, sizeof text,
                 "Versions do not match.  Please check correspondence between client \n  and "
                 "server releases. Client %s, Server %s.\n Click OK to exit. ",
                 kVersionText, other);
        fatalError(text, 99, 0);
    }
    return 0;
}

void setRemoteServerHooks(const RemoteServerHooks& hooks) {
    g_hooks = hooks;
}

const RemoteServerHooks& remoteServerHooks() {
    return g_hooks;
}

const char* remoteOpName(int op) {
    switch (op) {
#define VX_REMOTE_NAME(number, name, meaning) \
    case number: return #name;
        VX_REMOTE_OPERATIONS(VX_REMOTE_NAME)
#undef VX_REMOTE_NAME
    }
    return "?";
}

}  // namespace vxs
