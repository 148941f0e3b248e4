// The interrupt signal (Ctrl-C at a terminal) as a key press: while it is caught, the signal only
// sets a flag that the front end reads at its polls, and a wait for typed input ends when it
// arrives.  The flag is the one piece of state a signal handler touches.
#pragma once

namespace vxs::platform {

// Catches the interrupt signal: from now on it sets the interrupt flag instead of ending the
// process.  System calls it interrupts are restarted, except the wait below.
void catchInterrupts();
// Gives the interrupt signal its default action again and clears the flag.
void releaseInterrupts();

// Whether an interrupt came since the flag was last taken; clears the flag.
bool takeInterrupt();
// Whether an interrupt is waiting; leaves the flag as it is.
bool interruptPending();

// Waits until descriptor `fd` has input to read (or its end) or an interrupt is waiting.  An
// interrupt that arrives during the wait ends it; one waiting before it ends it at once.
// Returns 0 when input can be read, 1 for an interrupt (the flag stays set), -1 with the last
// error set when the descriptor cannot be waited on.
[[nodiscard]] int waitForInput(int fd);
// The same within `milliseconds` (0: only looks): 0 input, 1 an interrupt, 2 the time ran out,
// -1 with the last error set.
[[nodiscard]] int waitForInputFor(int fd, int milliseconds);

}  // namespace vxs::platform
