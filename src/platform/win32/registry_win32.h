// The game's registry entries on Windows, for the viewer's platform there:
// string values under the local machine's root, read where the game's
// 32-bit installer wrote them (the 32-bit view, WOW6432Node on 64-bit
// Windows), else in the 64-bit view, where a user may have added them by
// hand.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

// The design reads registry strings into a buffer of this size: longer ones
// are cut there, at a whole character.
constexpr std::size_t kRegistryValueLimit = 128;

// A REG_SZ or REG_EXPAND_SZ value (not expanded, as the design reads it) of
// a key under HKEY_LOCAL_MACHINE, as UTF-8. NoKey: the key is in neither
// view; NoValue: it is, without a string value of that name.
ConfigResult ReadRegistryString(const std::string& key, const std::string& value, std::string& out);

}  // namespace platform
