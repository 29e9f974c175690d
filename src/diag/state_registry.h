// One place that knows how to put every piece of process-wide state back to
// its start values. Each owner registers its reset beside the state itself,
// so a new global cannot be left out of a hand-kept list; the unload, the
// headless loader and the tests all go through ResetState.
#pragma once

#include <string>
#include <vector>

// Higher layers point into lower ones (terrain into instances, instances
// into models, models into textures), so resets run from the top down.
enum class StateLayer : int { Base, Files, Scene, Effects, Terrain, App };  // Base: platform, maths, diagnostics

enum class StateScope {
    Level,    // what one loaded level leaves behind
    Process,  // settings and caches of the run: toggles, camera, clock, GL set-up
};

// Registers at static initialisation: `const StateReset kReset{...};`
struct StateReset {
    StateReset(const char* name, StateLayer layer, StateScope scope, void (*reset)());
};

// Level: every level state, top layer first. Process: the level states,
// then every process state, top layer first (GL objects of a level go while
// the hooks that delete them are still installed).
void ResetState(StateScope scope);

// The registered resets' names, for tests.
std::vector<std::string> RegisteredStateNames();
