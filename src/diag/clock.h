// The clock: seconds since the first GetTime call on the platform's
// high-resolution counter, with the millisecond tick count as fallback.
#pragma once

// Seconds since the first call, which returns exactly 0.
double GetTime();
// Seconds since the previous call; the first call returns 0.
double GetFrameDelta();
// Forgets every first-call reading, so the next GetTime starts at 0 again.
void ResetClock();
