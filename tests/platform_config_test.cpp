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

// A registry line "NAME"=DATA, and one under the game's key.
std::string Value(const std::string& name, const std::string& data) { return "\"" + name + "\"=" + data + "\n"; }
std::string Under(const std::string& name, const std::string& data) { return kSection + Value(name, data); }

TEST(ReadConfig, GivesResultAndText) {
    const auto found = ConfigResult::Found, noValue = ConfigResult::NoValue, noKey = ConfigResult::NoKey;
    const std::string drive = "Data Drive", install = "Installed Directory", cd = R"("D:\\")";
    // The hive is system.reg after the header; "@" stands for the prefix directory.
    const struct {
        const char* name;
        std::string hive, value;
        ConfigResult result;
        std::string expected, key = kKey;
    } cases[] = {
        {"CD drive through an absolute link", Under(drive, cd), drive, found, "/media/cdrom/"},
        {"install directory through a relative link", Under(install, R"("C:\\Games\\Wildgrove\\")"), install, found,
         "@drive_c/Games/Wildgrove/"},
        {"no trailing separator keeps none", Under(install, R"("C:\\Games")"), install, found, "@drive_c/Games"},
        {"root drive link", Under(drive, R"("Z:\\srv\\wg\\")"), drive, found, "/srv/wg/"},
        {"bare drive letter", Under(drive, R"("d:")"), drive, found, "/media/cdrom"},
        {"drive without link keeps its letter", Under(drive, R"("E:\\")"), drive, found, "E:/"},
        {"quote and backslash escapes", Under(install, R"("C:\\A \"B\"\\")"), install, found, "@drive_c/A \"B\"/"},
        {"wide character escape", Under(install, R"("C:\\Caf\xe9")"), install, found, "@drive_c/Caf\xc3\xa9"},
        {"key and value names ignore case",
         "[SOFTWARE\\\\larkspur interactive\\\\WILDGROVE] 1\n" + Value("DATA drive", cd), drive, found,
         "/media/cdrom/"},
        {"expandable string is a string", Under(drive, "str(2):" + cd), drive, found, "/media/cdrom/"},
        {"32-bit view of a 64-bit prefix",
         "[Software\\\\Wow6432Node\\\\Larkspur Interactive\\\\Wildgrove] 1\n" + Value(drive, cd), drive, found,
         "/media/cdrom/"},
        {"value of another key is not taken",
         "[Software\\\\Larkspur Interactive\\\\Wildgrove\\\\Patch] 1\n" + Value(drive, cd) +
             Under("Version", R"("1.1")"),
         drive, noValue, ""},
        {"missing section", "[Software\\\\Other] 1\n" + Value(drive, cd), drive, noKey, ""},
        {"missing value", Under(install, R"("C:\\")"), drive, noValue, ""},
        {"dword is not a string", Under(drive, "dword:00000044"), drive, noValue, ""},
        {"binary with continuation is not a string",
         Under(drive, "hex:44,00,3a,00,\\\n  5c,00,00,00") + Value(install, R"("C:\\")"), drive, noValue, ""},
        {"other keys read the same way", "[Software\\\\Vendor\\\\Tool] 1\n" + Value("Path", R"("C:\\tool")"), "Path",
         found, "@drive_c/tool", "SOFTWARE\\Vendor\\Tool"},
        {"carriage return line ends",
         "[Software\\\\Larkspur Interactive\\\\Wildgrove]\r\n\"Data Drive\"=\"D:\\\\\"\r\n", drive, found,
         "/media/cdrom/"},
        {"long values are cut to 128 bytes", Under(install, "\"" + std::string(200, 'x') + "\""), install, found,
         std::string(128, 'x')},
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
    const auto found = ConfigResult::Found, noKey = ConfigResult::NoKey;
    const std::string drive = "Data Drive", install = "Installed Directory";
    const char *driveVariable = "WILDGROVE_DATA_DRIVE", *installVariable = "WILDGROVE_INSTALLED_DIRECTORY";
    const struct {
        const char* name;
        std::map<std::string, std::string> env;
        bool hive;
        std::string value;
        ConfigResult result;
        std::string expected;
    } cases[] = {
        {"data drive over the hive", {{driveVariable, "/mnt/wg cd/"}}, true, drive, found, "/mnt/wg cd/"},
        {"install directory without a hive", {{installVariable, "/opt/wg"}}, false, install, found, "/opt/wg"},
        {"taken as it is, not mapped", {{driveVariable, "C:\\x\\"}}, true, drive, found, "C:\\x\\"},
        {"only its own value", {{driveVariable, "/mnt/cd/"}}, false, install, noKey, ""},
        {"empty means unset", {{driveVariable, ""}}, true, drive, found, "/media/cdrom/"},
        {"no override without a hive", {}, false, drive, noKey, ""},
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
