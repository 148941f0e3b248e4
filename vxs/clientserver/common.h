// The remote operation layer: every request of the interpreter side to the terminal side (and
// back) is a numbered message built here and dispatched at once, in this process, through one
// table of handlers indexed by operation number.
//
// Call/reply discipline: CallFunctionRemote(op, ORIGIN, ...) builds the call, puts it in the
// current-message slot and dispatches it; a handler that answers calls
// CallFunctionRemote(reply, IN_RESP, ...) as its last action, which leaves the reply in the slot;
// the caller then collects it with ReceiveFunctionRemote(reply, outputs).  Dispatch may nest.
// Only the main thread uses the layer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "vxs/clientserver/remoteops.h"
#include "vxs/clientserver/serialize.h"

namespace vxs {

// Where a reply's parameters go: integers into `value`, data parameters (copied) into `data`.
struct RemoteOut {
    int32_t* value = nullptr;
    std::string* data = nullptr;
};
inline RemoteOut roInt(int32_t* v) {
    return {v, nullptr};
}
inline RemoteOut roData(std::string* s) {
    return {nullptr, s};
}

// A handler gets the decoded message; `outs` is the receiver's outputs when the message is the
// reply being waited for, else empty.  It returns 0, or nonzero when the message does not fit
// what the operation expects (the receiver reports that as an internal error).
using RemoteHandler = int (*)(const DecodedMessage& msg, std::span<const RemoteOut> outs);

// Builds the message and stores it in the slot; a call is dispatched at once.  Returns the call
// handler's result (0 when it accepted the message).  When memory for the message runs out the
// failure is logged and 0 returned: a call is lost, and a receiver finds no reply.
[[nodiscard]] int CallFunctionRemote(int32_t op, int32_t direction,
                                     std::span<const RemoteParam> params);
[[nodiscard]] inline int CallFunctionRemote(int32_t op, int32_t direction,
                                            std::initializer_list<RemoteParam> params) {
    return CallFunctionRemote(op, direction,
                              std::span<const RemoteParam>(params.begin(), params.size()));
}

// Dispatches the message in the slot, and further ones until the reply `expected` has been
// handled; the reply's values go to `outs`.  Returns 0, or nonzero when the slot runs empty
// before the reply came or the reply did not fit the outputs.  A reply with another number is a
// consistency failure.
[[nodiscard]] int ReceiveFunctionRemote(int32_t expected, std::span<const RemoteOut> outs);
[[nodiscard]] inline int ReceiveFunctionRemote(int32_t expected,
                                               std::initializer_list<RemoteOut> outs) {
    return ReceiveFunctionRemote(expected, std::span<const RemoteOut>(outs.begin(), outs.size()));
}

// Handler table.  The interpreter side's own handlers (replies, version check, exit request,
// keys available) are installed from the start; a terminal front end installs the rest.
void setRemoteHandler(int op, RemoteHandler handler);
RemoteHandler remoteHandler(int op);
// Removes every handler a front end installed, leaving the interpreter side's own.
void resetRemoteHandlers();

// The per-operation dispatch counters: a running total and a count since the last reset.
struct RemoteCounters {
    uint32_t total = 0;
    uint32_t sinceReset = 0;
};
RemoteCounters remoteCounters(int op);
void resetRemoteCounters();  // clears the counts since reset

// The dispatch flag, inverted around each local dispatch of a call.
bool remoteDispatchFlag();

// The reply handler shared by every reply number: copies the reply's parameters into the
// receiver's outputs.  Nonzero when a parameter has no output of its kind.
int deliverReply(const DecodedMessage& msg, std::span<const RemoteOut> outs);

// Compares the other side's version text with kVersionText: a difference is a fatal error
// (exit status 99).  Returns 0.
int checkVersion(const char* other);

// Hooks the interpreter side gives the layer for the operations the terminal side sends.
struct RemoteServerHooks {
    void (*keysAvailable)() = nullptr;      // KEYSAVAILABLE
    int (*exitRequest)(int32_t) = nullptr;  // EXITREQUESTCALL: returns the status to answer
};
void setRemoteServerHooks(const RemoteServerHooks& hooks);
const RemoteServerHooks& remoteServerHooks();

}  // namespace vxs
