// What each operating system provides beneath the platform contract. One
// folder of src/platform/ per system (posix/, ...) implements these; the
// build compiles exactly one of them.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

namespace platform {

// The system's own files and folders.
FileSystem& SystemFiles();
// A clock that never goes back, in nanoseconds from an arbitrary start.
std::uint64_t MonotonicNanoseconds();
// Text for a debugger or the console (standard error here).
void SystemDebugOutput(const char* text);

}  // namespace platform
