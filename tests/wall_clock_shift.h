// The wall clock as this process reads it, shifted by a chosen number of
// seconds: clock_gettime is interposed for the whole test executable, so
// the library's and the C++ runtime's readings of CLOCK_REALTIME move, while
// the kernel's own idea of the time, which absolute waits end by, does not.
// A test sets a shift, lets the library plan its waits, then sets it back:
// to the library that is a step of the wall clock.
#pragma once

namespace tessel::testing {

void ShiftWallClock(long seconds);
// CLOCK_REALTIME as the kernel has it, past the interposition.
long UnshiftedWallSeconds();

}  // namespace tessel::testing
