// The last-resort reporters: consistency failures (vxassertion, VXASSERT) and fatal errors, and
// the two ways out of the process.  Every layer may call them; what a report shows and how the
// process shuts down belong to higher layers, which register them here (FailureHandlers), so that
// this layer knows neither the terminal nor the shut-down sequence.
//
// States: no failure -> a failure being reported (a second consistency failure, or a fatal error
// while one is reported, ends the process at once with status -1) -> the process ends.
#pragma once

namespace vxs {

// What the higher layers do for a failure.  A missing handler is skipped: the report then goes
// only to the log, and the process ends without its orderly shut-down.
struct FailureHandlers {
    // Shows `message` to the operator; a nonzero answer asks to carry on (returned by
    // fatalError).  `flags` as fatalError's.
    int (*showFatal)(const char* message, int flags) = nullptr;
    // The orderly shut-down sequence, run before the process ends in order.
    void (*shutdown)() = nullptr;
};
void setFailureHandlers(const FailureHandlers& handlers);

// Consistency failure: never returns.  Reports "vxassertion (%s) failed in %s line %i."; a second
// failure while one is reported ends the process at once with status -1.
[[noreturn]] void vxassertion(const char* condition, const char* file, int line);

// Fatal error: logs, shows the message on the terminal side and ends the process in order with
// `status` -- unless the terminal side asks to carry on, when its nonzero answer is returned.
// A fatal error while one is being reported ends the process at once with status -1.  Nonzero
// `flags` let a further fatal error be reported.
int fatalError(const char* message, int status, int flags);

[[noreturn]] void immediateExit(int status);
[[noreturn]] void orderlyExit(int status);

// Marks a failure in progress; true when one already was (the fault handler's test).
bool claimFailure();
// For tests: the two last-resort flags.
bool failureInProgress();
bool fatalReporting();
void resetLastResortFlags();

}  // namespace vxs

#define VXASSERT(cond) ((cond) ? (void)0 : ::vxs::vxassertion(#cond, __FILE__, __LINE__))
