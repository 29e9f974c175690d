#include "diag/clock.h"

#include <cstdint>
#include <cstdio>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "platform/platform.h"

namespace {

// Owned here: written by GetTime and GetFrameDelta (the first readings and
// the previous frame's), reset by ResetClock (the process reset).
struct ClockState {
    bool started = false;
    bool hiRes = false;
    std::uint64_t frequency = 0;
    std::uint64_t start = 0;
    bool tickStarted = false;
    std::uint32_t startTick = 0;
    bool deltaStarted = false;
    double previous = 0.0;
};

ClockState& State() {
    static ClockState state;
    return state;
}

double TickTime() {
    ClockState& s = State();
    std::uint32_t now = platform::Current().TickCount();
    if (!s.tickStarted) {
        s.tickStarted = true;
        s.startTick = now;
        return 0.0;
    }
    return static_cast<std::uint32_t>(now - s.startTick) * 0.001;
}

}  // namespace

double GetTime() {
    ClockState& s = State();
    platform::Platform& pf = platform::Current();
    if (!s.started) {
        s.started = true;
        s.frequency = pf.CounterFrequency();
        if (s.frequency != 0) {
            s.hiRes = true;
            s.start = pf.CounterValue();
            return 0.0;
        }
        ConsolePrintf("WARNING: Init hi-res timer failed: not supported?\n");
        s.hiRes = false;
        return TickTime();
    }
    if (!s.hiRes) return TickTime();
    return static_cast<double>(static_cast<std::int64_t>(pf.CounterValue() - s.start)) /
           static_cast<double>(s.frequency);
}

double GetFrameDelta() {
    ClockState& s = State();
    if (!s.deltaStarted) {
        s.deltaStarted = true;
        s.previous = GetTime();
        return 0.0;
    }
    double t = GetTime();
    double d = t - s.previous;
    s.previous = t;
    return d;
}

void ResetClock() { State() = ClockState{}; }

namespace {
const StateReset kClockReset{"clock", StateLayer::Base, StateScope::Process, &ResetClock};
}  // namespace
