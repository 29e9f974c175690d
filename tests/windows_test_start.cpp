// Linked into every Windows test program. A test that crashes under Wine
// would take its buffered output with it, and the runner could not tell it
// from a program Wine never started (scripts/wine-run.sh starts those again):
// unbuffered, the first line is out before anything can go wrong.
#include <cstdio>

namespace {
const int kUnbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);
}  // namespace
