// The game's registry entries on a system without a registry: read from the
// Wine prefix the game was installed into, with environment overrides.
//
// The machine hive of a prefix is PREFIX/system.reg. A key is a section
// "[Software\\Larkspur Interactive\\Wildgrove] 1700000000", its values are
// lines "Name"="text" with backslash escapes; names compare without regard
// to case, as the registry does. Windows paths come back as this system's
// paths: the drive letter through the prefix's dosdevices links ("d:" to
// /media/cdrom), backslashes as '/'.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Where configuration comes from. Tests point it at a prefix of their own.
struct ConfigPlaces {
    std::string winePrefix;  // holds system.reg and dosdevices/
    EnvironmentLookup environment;

    // The process's environment; the prefix is $WINEPREFIX, else ~/.wine.
    static ConfigPlaces FromProcess();
};

// The design reads registry strings into a buffer of this size.
constexpr std::size_t kConfigValueLimit = 128;

// A string value of a key under the machine root ("SOFTWARE\...").
// WILDGROVE_DATA_DRIVE and WILDGROVE_INSTALLED_DIRECTORY, when set and not
// empty, stand for the game's two values and are taken as they are. Found:
// out holds the value; NoKey: no such key (or no hive at all); NoValue: the
// key exists but has no string value of that name.
ConfigResult ReadConfigString(const ConfigPlaces& places, const std::string& key, const std::string& value,
                              std::string& out);

// A Windows path as a path of this system, through the prefix's drive links.
// Text that does not start with a drive letter only has its separators
// turned; a drive without a link keeps its letter.
std::string MapWindowsPath(const std::string& winePrefix, const std::string& path);

}  // namespace platform
