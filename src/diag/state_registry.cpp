#include "diag/state_registry.h"

#include <algorithm>
#include <vector>

namespace {

struct Entry {
    const char* name;
    StateLayer layer;
    StateScope scope;
    void (*reset)();
};

std::vector<Entry>& Registry() {
    static std::vector<Entry> entries;  // filled before main
    return entries;
}

void RunScope(StateScope scope) {
    std::vector<Entry> entries = Registry();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.layer > b.layer; });
    for (const Entry& e : entries)
        if (e.scope == scope) e.reset();
}

}  // namespace

StateReset::StateReset(const char* name, StateLayer layer, StateScope scope, void (*reset)()) {
    Registry().push_back({name, layer, scope, reset});
}

void ResetState(StateScope scope) {
    RunScope(StateScope::Level);
    if (scope == StateScope::Process) RunScope(StateScope::Process);
}

std::vector<std::string> RegisteredStateNames() {
    std::vector<std::string> names;
    for (const Entry& e : Registry()) names.emplace_back(e.name);
    return names;
}
