#include "diag/stat_counter.h"

#include <cstdio>

#include "diag/state_registry.h"

namespace {
std::vector<StatCounter*>& Registry() {
    static std::vector<StatCounter*> registry;  // built before main, released at exit
    return registry;
}
}  // namespace

StatCounter::StatCounter(const char* counterName) : name(counterName) { Registry().push_back(this); }

const std::vector<StatCounter*>& StatRegistry() { return Registry(); }

std::string StatReport() {
    std::string report;
    char line[256];
    for (const StatCounter* c : Registry()) {
        std::snprintf(line, sizeof line, "\n%s: %d", c->name, c->value);
        report += line;
    }
    return report;
}

void ResetStatCounters() {
    for (StatCounter* c : Registry()) c->value = 0;
}

// Definition order is registration order (one translation unit, so the
// order is the order of these lines).
StatCounter gVisibleVerts("gVisibleVerts");
StatCounter gVisibleTris("gVisibleTris");
StatCounter gRawRGBTexMem("gRawRGBTexMem");
StatCounter gRawRGBATexMem("gRawRGBATexMem");
StatCounter gNeighbourTriTex("gNeighbourTriTex");
StatCounter gTex256("gTex256");
StatCounter gTexOther("gTexOther");
StatCounter gVisibleDisplayLists("gVisibleDisplayLists");
StatCounter gTotalTris("gTotalTris");

namespace {
const StateReset kCounterReset{"statistics counters", StateLayer::Base, StateScope::Process, &ResetStatCounters};
}  // namespace
