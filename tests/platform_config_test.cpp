// The registry's stand-in: values read from a hand-written Wine prefix, with
// drive links and environment overrides.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/config/wine_registry.h"
#include "test_util.h"

namespace {

using platform::ConfigPlaces;
using platform::ConfigResult;

const std::string kKey = "SOFTWARE\\Larkspur Interactive\\Wildgrove";
const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
const std::string kSection = "[Software\\\\Larkspur Interactive\\\\Wildgrove] 1700000000\n#time=1d9e0c0a0b0c0d0\n";

// A prefix with system.reg and the usual drive links: c: to ../drive_c
// (relative, as wineboot makes it), d: to a CD mount point, z: to /.
class Prefix {
public:
    explicit Prefix(const std::string& hive, bool writeHive = true) {
        namespace fs = std::filesystem;
        fs::create_directories(dir_.File("dosdevices"));
        fs::create_directories(dir_.File("drive_c"));
        fs::create_symlink("../drive_c", dir_.File("dosdevices/c:"));
        fs::create_symlink("/media/cdrom", dir_.File("dosdevices/d:"));
        fs::create_symlink("/", dir_.File("dosdevices/z:"));
        if (writeHive) std::ofstream(dir_.File("system.reg"), std::ios::binary) << hive;
    }
    ConfigPlaces Places(std::map<std::string, std::string> env = {}) const {
        ConfigPlaces places;
        places.winePrefix = dir_.path();
        places.environment = [env](const std::string& name) -> std::optional<std::string> {
            auto it = env.find(name);
            if (it == env.end()) return std::nullopt;
            return it->second;
        };
        return places;
    }
    std::string Path(const std::string& relative) const { return dir_.File(relative); }

private:
    TempDir dir_;
};

TEST(ReadConfig, GivesResultAndText) {
    const struct {
        const char* name;
        std::string hive;  // system.reg after the header
        std::string key, value;
        ConfigResult result;
        std::string expected;  // "@" stands for the prefix directory
    } cases[] = {
        {"CD drive through an absolute link", kSection + "\"Data Drive\"=\"D:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::Found, "/media/cdrom/"},
        {"install directory through a relative link",
         kSection + "\"Installed Directory\"=\"C:\\\\Games\\\\Wildgrove\\\\\"\n", kKey, "Installed Directory",
         ConfigResult::Found, "@drive_c/Games/Wildgrove/"},
        {"no trailing separator keeps none", kSection + "\"Installed Directory\"=\"C:\\\\Games\"\n", kKey,
         "Installed Directory", ConfigResult::Found, "@drive_c/Games"},
        {"root drive link", kSection + "\"Data Drive\"=\"Z:\\\\srv\\\\wg\\\\\"\n", kKey, "Data Drive",
         ConfigResult::Found, "/srv/wg/"},
        {"bare drive letter", kSection + "\"Data Drive\"=\"d:\"\n", kKey, "Data Drive", ConfigResult::Found,
         "/media/cdrom"},
        {"drive without link keeps its letter", kSection + "\"Data Drive\"=\"E:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::Found, "E:/"},
        {"quote and backslash escapes", kSection + "\"Installed Directory\"=\"C:\\\\A \\\"B\\\"\\\\\"\n", kKey,
         "Installed Directory", ConfigResult::Found, "@drive_c/A \"B\"/"},
        {"wide character escape", kSection + "\"Installed Directory\"=\"C:\\\\Caf\\xe9\"\n", kKey,
         "Installed Directory", ConfigResult::Found, "@drive_c/Caf\xc3\xa9"},
        {"key and value names ignore case",
         "[SOFTWARE\\\\larkspur interactive\\\\WILDGROVE] 1\n\"DATA drive\"=\"D:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::Found, "/media/cdrom/"},
        {"expandable string is a string", kSection + "\"Data Drive\"=str(2):\"D:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::Found, "/media/cdrom/"},
        {"32-bit view of a 64-bit prefix",
         "[Software\\\\Wow6432Node\\\\Larkspur Interactive\\\\Wildgrove] 1\n\"Data Drive\"=\"D:\\\\\"\n", kKey,
         "Data Drive", ConfigResult::Found, "/media/cdrom/"},
        {"value of another key is not taken",
         "[Software\\\\Larkspur Interactive\\\\Wildgrove\\\\Patch] 1\n\"Data Drive\"=\"D:\\\\\"\n" + kSection +
             "\"Version\"=\"1.1\"\n",
         kKey, "Data Drive", ConfigResult::NoValue, ""},
        {"missing section", "[Software\\\\Other] 1\n\"Data Drive\"=\"D:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::NoKey, ""},
        {"missing value", kSection + "\"Installed Directory\"=\"C:\\\\\"\n", kKey, "Data Drive",
         ConfigResult::NoValue, ""},
        {"dword is not a string", kSection + "\"Data Drive\"=dword:00000044\n", kKey, "Data Drive",
         ConfigResult::NoValue, ""},
        {"binary with continuation is not a string",
         kSection + "\"Data Drive\"=hex:44,00,3a,00,\\\n  5c,00,00,00\n\"Installed Directory\"=\"C:\\\\\"\n", kKey,
         "Data Drive", ConfigResult::NoValue, ""},
        {"other keys read the same way", "[Software\\\\Vendor\\\\Tool] 1\n\"Path\"=\"C:\\\\tool\"\n",
         "SOFTWARE\\Vendor\\Tool", "Path", ConfigResult::Found, "@drive_c/tool"},
        {"carriage return line ends",
         "[Software\\\\Larkspur Interactive\\\\Wildgrove]\r\n\"Data Drive\"=\"D:\\\\\"\r\n", kKey, "Data Drive",
         ConfigResult::Found, "/media/cdrom/"},
        {"long values are cut to 128 bytes",
         kSection + "\"Installed Directory\"=\"" + std::string(200, 'x') + "\"\n", kKey, "Installed Directory",
         ConfigResult::Found, std::string(128, 'x')},
    };
    for (const auto& c : cases) {
        Prefix prefix(kHeader + c.hive);
        std::string out = "stale", expected = c.expected;
        EXPECT_EQ(platform::ReadConfigString(prefix.Places(), c.key, c.value, out), c.result) << c.name;
        if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, prefix.Path(""));
        EXPECT_EQ(out, expected) << c.name;
    }
    // No hive, or no prefix at all: no key.
    Prefix prefix("", /*writeHive=*/false);
    std::string out;
    EXPECT_EQ(platform::ReadConfigString(prefix.Places(), kKey, "Data Drive", out), ConfigResult::NoKey);
    EXPECT_EQ(platform::ReadConfigString(ConfigPlaces{}, kKey, "Data Drive", out), ConfigResult::NoKey);
}

TEST(ReadConfig, TheEnvironmentComesFirst) {
    const struct {
        const char* name;
        std::map<std::string, std::string> env;
        bool hive;
        std::string value;
        ConfigResult result;
        std::string expected;
    } cases[] = {
        {"data drive over the hive", {{"WILDGROVE_DATA_DRIVE", "/mnt/wg cd/"}}, true, "Data Drive",
         ConfigResult::Found, "/mnt/wg cd/"},
        {"install directory without a hive", {{"WILDGROVE_INSTALLED_DIRECTORY", "/opt/wg"}}, false,
         "Installed Directory", ConfigResult::Found, "/opt/wg"},
        {"taken as it is, not mapped", {{"WILDGROVE_DATA_DRIVE", "C:\\x\\"}}, true, "Data Drive",
         ConfigResult::Found, "C:\\x\\"},
        {"only its own value", {{"WILDGROVE_DATA_DRIVE", "/mnt/cd/"}}, false, "Installed Directory",
         ConfigResult::NoKey, ""},
        {"empty means unset", {{"WILDGROVE_DATA_DRIVE", ""}}, true, "Data Drive", ConfigResult::Found,
         "/media/cdrom/"},
        {"no override without a hive", {}, false, "Data Drive", ConfigResult::NoKey, ""},
    };
    for (const auto& c : cases) {
        Prefix prefix(kHeader + kSection + "\"Data Drive\"=\"D:\\\\\"\n\"Installed Directory\"=\"C:\\\\WG\\\\\"\n",
                      c.hive);
        std::string out;
        EXPECT_EQ(platform::ReadConfigString(prefix.Places(c.env), kKey, c.value, out), c.result) << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
    }
}

TEST(ConfigPlaces, PrefixFromTheEnvironment) {
    const char* saved = std::getenv("WINEPREFIX");
    const std::string before = saved ? saved : "";
    setenv("WINEPREFIX", "/srv/prefix", 1);
    EXPECT_EQ(ConfigPlaces::FromProcess().winePrefix, "/srv/prefix");
    unsetenv("WINEPREFIX");
    if (const char* home = std::getenv("HOME")) {
        EXPECT_EQ(ConfigPlaces::FromProcess().winePrefix, std::string(home) + "/.wine");
    }
    if (saved) setenv("WINEPREFIX", before.c_str(), 1);
}

}  // namespace
