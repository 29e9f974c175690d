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

struct ReadCase {
    const char* name;
    std::string hive;  // system.reg after the header
    std::string key, value;
    ConfigResult result;
    std::string expected;  // "@" stands for the prefix directory
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadConfig : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadConfig, GivesResultAndText) {
    const ReadCase& c = GetParam();
    Prefix prefix(kHeader + c.hive);
    std::string out = "stale";
    EXPECT_EQ(platform::ReadConfigString(prefix.Places(), c.key, c.value, out), c.result);
    std::string expected = c.expected;
    if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, prefix.Path(""));
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Hive, ReadConfig,
    ::testing::Values(
        ReadCase{"CdDriveThroughAbsoluteLink", kSection + "\"Data Drive\"=\"D:\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::Found, "/media/cdrom/"},
        ReadCase{"InstallDirectoryThroughRelativeLink",
                 kSection + "\"Installed Directory\"=\"C:\\\\Games\\\\Wildgrove\\\\\"\n", kKey,
                 "Installed Directory", ConfigResult::Found, "@drive_c/Games/Wildgrove/"},
        ReadCase{"NoTrailingSeparatorKeepsNone", kSection + "\"Installed Directory\"=\"C:\\\\Games\"\n", kKey,
                 "Installed Directory", ConfigResult::Found, "@drive_c/Games"},
        ReadCase{"RootDriveLink", kSection + "\"Data Drive\"=\"Z:\\\\srv\\\\wg\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::Found, "/srv/wg/"},
        ReadCase{"BareDriveLetter", kSection + "\"Data Drive\"=\"d:\"\n", kKey, "Data Drive", ConfigResult::Found,
                 "/media/cdrom"},
        ReadCase{"DriveWithoutLinkKeepsLetter", kSection + "\"Data Drive\"=\"E:\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::Found, "E:/"},
        ReadCase{"QuoteAndBackslashEscapes", kSection + "\"Installed Directory\"=\"C:\\\\A \\\"B\\\"\\\\\"\n", kKey,
                 "Installed Directory", ConfigResult::Found, "@drive_c/A \"B\"/"},
        ReadCase{"WideCharacterEscape", kSection + "\"Installed Directory\"=\"C:\\\\Caf\\xe9\"\n", kKey,
                 "Installed Directory", ConfigResult::Found, "@drive_c/Caf\xc3\xa9"},
        ReadCase{"KeyAndValueNamesIgnoreCase",
                 "[SOFTWARE\\\\larkspur interactive\\\\WILDGROVE] 1\n\"DATA drive\"=\"D:\\\\\"\n", kKey,
                 "Data Drive", ConfigResult::Found, "/media/cdrom/"},
        ReadCase{"ExpandableStringIsAString", kSection + "\"Data Drive\"=str(2):\"D:\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::Found, "/media/cdrom/"},
        ReadCase{"ThirtyTwoBitViewOfSixtyFourBitPrefix",
                 "[Software\\\\Wow6432Node\\\\Larkspur Interactive\\\\Wildgrove] 1\n\"Data Drive\"=\"D:\\\\\"\n",
                 kKey, "Data Drive", ConfigResult::Found, "/media/cdrom/"},
        ReadCase{"ValueOfAnotherKeyIsNotTaken",
                 "[Software\\\\Larkspur Interactive\\\\Wildgrove\\\\Patch] 1\n\"Data Drive\"=\"D:\\\\\"\n" +
                     kSection + "\"Version\"=\"1.1\"\n",
                 kKey, "Data Drive", ConfigResult::NoValue, ""},
        ReadCase{"MissingSection", "[Software\\\\Other] 1\n\"Data Drive\"=\"D:\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::NoKey, ""},
        ReadCase{"MissingValue", kSection + "\"Installed Directory\"=\"C:\\\\\"\n", kKey, "Data Drive",
                 ConfigResult::NoValue, ""},
        ReadCase{"DwordIsNotAString", kSection + "\"Data Drive\"=dword:00000044\n", kKey, "Data Drive",
                 ConfigResult::NoValue, ""},
        ReadCase{"BinaryWithContinuationIsNotAString",
                 kSection + "\"Data Drive\"=hex:44,00,3a,00,\\\n  5c,00,00,00\n\"Installed Directory\"=\"C:\\\\\"\n",
                 kKey, "Data Drive", ConfigResult::NoValue, ""},
        ReadCase{"OtherKeysReadTheSameWay", "[Software\\\\Vendor\\\\Tool] 1\n\"Path\"=\"C:\\\\tool\"\n",
                 "SOFTWARE\\Vendor\\Tool", "Path", ConfigResult::Found, "@drive_c/tool"},
        ReadCase{"CarriageReturnLineEnds", "[Software\\\\Larkspur Interactive\\\\Wildgrove]\r\n\"Data Drive\"=\"D:\\\\\"\r\n",
                 kKey, "Data Drive", ConfigResult::Found, "/media/cdrom/"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ReadConfig, NoHiveMeansNoKey) {
    Prefix prefix("", /*writeHive=*/false);
    std::string out;
    EXPECT_EQ(platform::ReadConfigString(prefix.Places(), kKey, "Data Drive", out), ConfigResult::NoKey);
    ConfigPlaces nowhere;
    EXPECT_EQ(platform::ReadConfigString(nowhere, kKey, "Data Drive", out), ConfigResult::NoKey);
}

TEST(ReadConfig, LongValuesAreCutTo128Bytes) {
    const std::string longText(200, 'x');
    Prefix prefix(kHeader + kSection + "\"Installed Directory\"=\"" + longText + "\"\n");
    std::string out;
    ASSERT_EQ(platform::ReadConfigString(prefix.Places(), kKey, "Installed Directory", out), ConfigResult::Found);
    EXPECT_EQ(out, std::string(128, 'x'));
}

struct OverrideCase {
    const char* name;
    std::map<std::string, std::string> env;
    bool hive;
    std::string value;
    ConfigResult result;
    std::string expected;
};

void PrintTo(const OverrideCase& c, std::ostream* os) { *os << c.name; }

class ConfigOverride : public ::testing::TestWithParam<OverrideCase> {};

TEST_P(ConfigOverride, EnvironmentComesFirst) {
    const OverrideCase& c = GetParam();
    Prefix prefix(kHeader + kSection + "\"Data Drive\"=\"D:\\\\\"\n\"Installed Directory\"=\"C:\\\\WG\\\\\"\n",
                  c.hive);
    std::string out;
    EXPECT_EQ(platform::ReadConfigString(prefix.Places(c.env), kKey, c.value, out), c.result);
    EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, ConfigOverride,
    ::testing::Values(
        OverrideCase{"DataDriveOverHive", {{"WILDGROVE_DATA_DRIVE", "/mnt/wg cd/"}}, true, "Data Drive",
                     ConfigResult::Found, "/mnt/wg cd/"},
        OverrideCase{"InstallDirectoryWithoutHive", {{"WILDGROVE_INSTALLED_DIRECTORY", "/opt/wg"}}, false,
                     "Installed Directory", ConfigResult::Found, "/opt/wg"},
        OverrideCase{"TakenAsItIsNotMapped", {{"WILDGROVE_DATA_DRIVE", "C:\\x\\"}}, true, "Data Drive",
                     ConfigResult::Found, "C:\\x\\"},
        OverrideCase{"OnlyItsOwnValue", {{"WILDGROVE_DATA_DRIVE", "/mnt/cd/"}}, false, "Installed Directory",
                     ConfigResult::NoKey, ""},
        OverrideCase{"EmptyMeansUnset", {{"WILDGROVE_DATA_DRIVE", ""}}, true, "Data Drive", ConfigResult::Found,
                     "/media/cdrom/"},
        OverrideCase{"NoOverrideWithoutHive", {}, false, "Data Drive", ConfigResult::NoKey, ""}),
    [](const ::testing::TestParamInfo<OverrideCase>& info) { return std::string(info.param.name); });

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
