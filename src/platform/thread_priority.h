// Scheduling for a worker whose result can wait a few frames.
#pragma once

namespace platform {

// Lowers the calling thread below the program's other threads, as far as
// the system lets a user without privileges go, while keeping it runnable
// on a busy machine: the frames (and the renderer's threads) come first,
// and a thread waited for still finishes. Nothing where the system refuses.
void LowerThisThreadsPriority() noexcept;

}  // namespace platform
