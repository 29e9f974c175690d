// What only Windows does to files and paths: names that ignore case, drive
// letters and shares, the settings folder under %APPDATA%, files left
// writable, a file another program holds open, and the registry.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "diag/state_registry.h"
#include "headless/headless_level.h"
#include "location/level_files.h"
#include "output/gltf_export.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/win32_tools.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "test_util.h"
#include "test_form.h"
#include "writer/skew_level.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

bool LoadsWithObjects(const std::string& swp) {
    headless::LoadedLevel level;
    level.console = nullptr;
    std::string why;
    const bool loaded = headless::LoadLevel(swp, level, &why) && !TheScene().InstanceList.empty();
    EXPECT_TRUE(level.platform.boxes.empty()) << swp;
    ResetState(StateScope::Process);
    return loaded;
}

TEST(WindowsFilesTest, NamesMatchWhateverTheirCase) {
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteSkewLevel(dir.path(), nullptr));
    for (const char* name : {"skew.grf", "skew-130.pid", "skew-130.swp"}) {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        fs::rename(dir.File(name), dir.File(upper));
    }
    platform::FileSystem& files = platform::Files();
    EXPECT_EQ(files.KindOf(dir.File("skew.grf")), platform::PathKind::File);
    EXPECT_TRUE(files.SameFile(dir.File("Skew.Grf"), dir.File("SKEW.GRF")));
    EXPECT_FALSE(files.SameFile(dir.File("SKEW.GRF"), dir.File("SKEW-130.PID")));
    // The level named in lower case, its files in upper case.
    EXPECT_TRUE(LoadsWithObjects(dir.File("skew-130.swp")));
}

TEST(WindowsFilesTest, DriveLettersAndSharesAreAbsolute) {
    const struct {
        const char* path;
        bool absolute;
        const char* folder;
        const char* level;
    } cases[] = {
        {"C:\\game\\beach-130.swp", true, "C:\\game", "beach"},
        {"c:/game/beach-130.swp", true, "c:/game", "beach"},
        {"C:\\beach-130.swp", true, "C:\\", "beach"},
        // Relative to drive C's own current folder; the level's other files
        // are looked for there too.
        {"C:beach-130.swp", false, "", "C:beach"},
        {"\\\\server\\share\\beach-130.swp", true, "\\\\server\\share", "beach"},
        {"save\\beach-130.swp", false, "save", "beach"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::Files().IsAbsolute(c.path), c.absolute) << c.path;
        EXPECT_EQ(platform::FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(LevelNameOf(c.path), c.level) << c.path;
    }
    const std::string here = platform::Files().CurrentDirectory();
    ASSERT_GE(here.size(), 3u);
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(here[0])) && here[1] == ':' && here[2] == '\\') << here;
}

TEST(WindowsFilesTest, SettingsLiveUnderAppData) {
    {
        SettingsHome settings("C:\\Users\\Eve\\AppData\\Roaming");
        EXPECT_EQ(platform::Files().SettingsDirectory("wildview"), "C:\\Users\\Eve\\AppData\\Roaming\\wildview");
    }
    {
        SettingsHome settings("Roaming");  // relative: not a place to keep anything
        EXPECT_EQ(platform::Files().SettingsDirectory("wildview"), "");
    }
}

// Every file of an export, written twice over the same names: none is left
// read-only, so the second export (and the user's own tools) can replace it.
TEST(WindowsFilesTest, AnExportCanBeWrittenAgainOverItself) {
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteSkewLevel(dir.path(), nullptr));
    headless::LoadedLevel level;
    level.console = nullptr;
    ASSERT_TRUE(headless::LoadLevel(dir.File("skew-130.swp"), level));
    for (const char* name : {"out.glb", "out.gltf"}) {
        GltfExportOptions options;
        options.path = dir.File(name);
        GltfExportReport report;
        std::string error;
        ASSERT_TRUE(ExportGltf(options, report, error)) << error;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            if (e.path().filename().string().rfind("out", 0) != 0) continue;
            EXPECT_NE(fs::status(e.path()).permissions() & fs::perms::owner_write, fs::perms::none) << e.path();
        }
        ASSERT_TRUE(ExportGltf(options, report, error)) << name << ": " << error;
    }
    ResetState(StateScope::Process);
}

// A file another program holds open without sharing: reading it and writing
// over it fail with the system's reason, and the file is as it was.
TEST(WindowsFilesTest, AFileHeldOpenElsewhereIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.File("held.txt");
    WriteAll(path, Bytes("as it was"));
    int held = -1;
    ASSERT_EQ(_wsopen_s(&held, fs::u8path(path).wstring().c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW, 0), 0);
    std::string error;
    EXPECT_EQ(platform::Files().OpenForReading(path, error), nullptr);
    // Windows' words, or Wine's.
    EXPECT_TRUE(error.find("used by another process") != std::string::npos || error == "Sharing violation") << error;
    error.clear();
    const std::vector<std::uint8_t> replacement = Bytes("replaced");
    EXPECT_FALSE(platform::WriteFileAtomically(path, replacement, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    _close(held);
    EXPECT_EQ(ReadAll(path), Bytes("as it was"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);  // no temporary left
    ASSERT_TRUE(platform::WriteFileAtomically(path, replacement, error)) << error;
    EXPECT_EQ(ReadAll(path), replacement);
}

// The game's values as its 32-bit installer writes them, or by hand in the
// 64-bit view; reg.exe writes them, as a user or an installer script would.
TEST(WindowsRegistryTest, ValuesComeFromEitherViewCutAtTheDesignsLimit) {
    const std::string root = "SOFTWARE\\Wildview Tests\\" + std::to_string(std::random_device{}());
    const auto reg = [](const std::string& args) {
        return _wsystem(fs::u8path("reg " + args + " >NUL 2>NUL").wstring().c_str());
    };
    const auto add = [&](const std::string& key, const std::string& name, const std::string& text, int bits) {
        ASSERT_EQ(reg("add \"HKLM\\" + root + "\\" + key + "\" /v \"" + name + "\" /t REG_SZ /d \"" + text +
                      "\" /f /reg:" + std::to_string(bits)), 0) << key;
    };
    std::string longText;
    while (longText.size() < 127) longText += "x";
    longText += "\xC3\xA9" "and more";  // the 128th byte falls inside the é
    add("Both", "Data Drive", "C:\\Games\\Wildgrove 32", 32);
    add("Both", "Data Drive", "C:\\Games\\Wildgrove 64", 64);
    add("Wide", "Installed Directory", "C:\\Spiele\\Wildgr\xC3\xB6ve", 64);
    add("Long", "Data Drive", longText, 32);
    add("Other", "Something Else", "x", 32);
    const struct {
        const char* key;
        const char* value;
        platform::ConfigResult result;
        std::string text;
    } cases[] = {
        {"Both", "Data Drive", platform::ConfigResult::Found, "C:\\Games\\Wildgrove 32"},
        {"Both", "data drive", platform::ConfigResult::Found, "C:\\Games\\Wildgrove 32"},  // names ignore case
        {"Wide", "Installed Directory", platform::ConfigResult::Found, "C:\\Spiele\\Wildgr\xC3\xB6ve"},
        {"Long", "Data Drive", platform::ConfigResult::Found, std::string(127, 'x')},
        {"Other", "Data Drive", platform::ConfigResult::NoValue, ""},
        {"None", "Data Drive", platform::ConfigResult::NoKey, ""},
    };
    for (const auto& c : cases) {
        std::string out = "left over";
        EXPECT_EQ(platform::ReadRegistryString(root + "\\" + c.key, c.value, out), c.result) << c.key;
        EXPECT_EQ(out, c.text) << c.key;
    }
    for (const char* view : {"32", "64"}) reg("delete \"HKLM\\" + root + "\" /f /reg:" + view);
}

// The progress window's Cancel, clicked, as Escape or as the close box,
// reaches the job at its next report; the window shown for the next job
// starts uncancelled.
TEST(WindowsProgressTest, CancelClickedEscapeOrTheCloseBoxStopTheJob) {
    const struct {
        const char* way;
        bool toButton;
        UINT message;
        WPARAM w;
    } ways[] = {{"Cancel clicked", true, BM_CLICK, 0},
                {"Escape", true, WM_KEYDOWN, VK_ESCAPE},
                {"the close box", false, WM_SYSCOMMAND, SC_CLOSE}};
    for (const auto& way : ways) {
        platform::win32::ProgressWindow progress;
        ASSERT_TRUE(progress.Show(nullptr, "Exporting glTF...", 0.1f)) << way.way;
        const HWND window = progress.Window();
        const HWND cancel = FindWindowExW(window, nullptr, L"BUTTON", L"Cancel");
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(progress.Show(nullptr, "Exporting glTF...", 0.2f)) << way.way << ": cancelled unasked";
        PostMessageW(way.toButton ? cancel : window, way.message, way.w, 0);
        EXPECT_FALSE(progress.Show(nullptr, "Exporting glTF...", 0.3f)) << way.way;
        EXPECT_FALSE(progress.Show(nullptr, "Exporting glTF...", 0.4f)) << way.way << ": it stays cancelled";
        EXPECT_TRUE(IsWindow(window)) << way.way << ": the window goes when the job ends, not before";
        progress.Hide();
        EXPECT_FALSE(IsWindow(window));
    }
}

// A window of this process, waited for up to ten seconds; null if none came.
HWND WaitForWindow(const wchar_t* cls, const wchar_t* title) {
    for (int k = 0; k < 200; ++k) {
        if (HWND w = FindWindowW(cls, title); w && IsWindowVisible(w)) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

std::wstring TextOf(HWND w) {
    wchar_t text[256] = {};
    SendMessageW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return text;
}

// The form as a user drives it, from a second thread: a typed field and OK,
// the caller's button (which leaves the read-only field alone), a refusal
// in a box over the form that stays open, and Escape.
TEST(WindowsFormTest, TypedTextsButtonsRefusalsAndEscape) {
    std::vector<std::string> checked;
    const platform::FormRequest form = TestForm(checked);
    struct Seen {
        std::wstring afterDouble, fixedAfterDouble, boxTitle;
        bool formStayed = false;
    } seen;
    const auto drive = [&](int round) {
        HWND w = WaitForWindow(L"WildviewForm", L"Form test");
        if (!w) return;
        HWND first = FindWindowExW(w, nullptr, L"EDIT", nullptr);
        HWND fixed = FindWindowExW(w, first, L"EDIT", nullptr);
        HWND ok = FindWindowExW(w, nullptr, L"BUTTON", L"OK");
        switch (round) {
            case 0:
                SendMessageW(first, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"21"));
                PostMessageW(ok, BM_CLICK, 0, 0);
                break;
            case 1:
                SendMessageW(FindWindowExW(w, nullptr, L"BUTTON", L"Double"), BM_CLICK, 0, 0);
                seen.afterDouble = TextOf(first);
                seen.fixedAfterDouble = TextOf(fixed);
                PostMessageW(ok, BM_CLICK, 0, 0);
                break;
            case 2: {
                SendMessageW(first, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"bad"));
                PostMessageW(ok, BM_CLICK, 0, 0);
                HWND box = WaitForWindow(L"#32770", L"Form test");
                if (!box) break;
                seen.boxTitle = TextOf(box);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                for (int k = 0; k < 100 && IsWindow(box); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                seen.formStayed = IsWindow(w) && IsWindowVisible(w);
                SendMessageW(first, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ok"));
                PostMessageW(ok, BM_CLICK, 0, 0);
                break;
            }
            default: PostMessageW(first, WM_KEYDOWN, VK_ESCAPE, 0); break;
        }
    };
    std::vector<std::string> texts;
    for (int round = 0; round < 4; ++round) {
        std::thread user(drive, round);
        const bool ok = platform::win32::RunForm(nullptr, form, texts);
        user.join();
        switch (round) {
            case 0:
                EXPECT_TRUE(ok);
                EXPECT_EQ(texts, (std::vector<std::string>{"21", "r"}));
                break;
            case 1:
                EXPECT_TRUE(ok);
                EXPECT_EQ(seen.afterDouble, L"11");
                EXPECT_EQ(seen.fixedAfterDouble, L"r");
                EXPECT_EQ(texts, (std::vector<std::string>{"11", "r"}));
                break;
            case 2:
                EXPECT_TRUE(ok);
                EXPECT_EQ(seen.boxTitle, L"Form test");
                EXPECT_TRUE(seen.formStayed);
                EXPECT_EQ(texts[0], "ok");
                EXPECT_EQ(checked, (std::vector<std::string>{"21", "11", "bad", "ok"}));
                break;
            default: EXPECT_FALSE(ok); break;
        }
    }
}

TEST(WindowsFormTest, TheClipboardKeepsUnicodeText) {
    for (const std::string text : {"1 2.5 -3 90 0 0", "caf\xc3\xa9 \xe2\x82\xac", ""}) {
        platform::win32::WriteClipboard(text);
        EXPECT_EQ(platform::win32::ReadClipboard(), text);
    }
}

// The picture window: the texel under the pointer described (the picture
// drawn 8 times its size in the middle of 512 x 512), a button posting its
// command, the close box closing it.
TEST(WindowsPictureTest, ThePointersTexelIsDescribedAndButtonsPostTheirCommand) {
    platform::PictureRequest request;
    request.title = "Picture test";
    request.image = {4, 2, std::vector<std::uint8_t>(4 * 2 * 4, 255)};
    request.describe = [](int x, int y) { return "texel " + std::to_string(x) + " " + std::to_string(y); };
    request.buttons = {{"Save as PNG...", 40211}};
    std::vector<int> posted;
    platform::win32::PictureWindow picture(nullptr, request, [&](int command) { posted.push_back(command); });
    ASSERT_TRUE(picture.Shown()) << GetLastError();
    EXPECT_EQ(picture.Line(), "Point at the picture to read its texels");
    // 32 x 16 picture pixels centred: texel (1, 0) spans x 8 + 240 + 8..15, y 8 + 248 + 0..7.
    SendMessageW(picture.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(8 + 240 + 12, 8 + 248 + 3));
    EXPECT_EQ(picture.Line(), "texel 1 0");
    SendMessageW(picture.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(8 + 240 + 31, 8 + 248 + 15));
    EXPECT_EQ(picture.Line(), "texel 3 1");
    SendMessageW(picture.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(picture.Line(), "Point at the picture to read its texels");
    SendMessageW(FindWindowExW(picture.Handle(), nullptr, L"BUTTON", L"Save as PNG..."), BM_CLICK, 0, 0);
    EXPECT_EQ(posted, (std::vector<int>{40211}));
    SendMessageW(picture.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(picture.Shown());
}

// A list with thumbnails gives each row its picture once, by its first
// column, and a row without one the empty picture.
TEST(WindowsPictureTest, ListRowsGetTheirThumbnailsOnce) {
    struct Source : platform::ListSource {
        std::vector<std::string> Columns() override { return {"Entry"}; }
        std::size_t Rows() override { return 3; }
        std::string Cell(std::size_t row, std::size_t) override { return std::to_string(row); }
        void SetFilter(const std::string&) override {}
        void SortBy(std::size_t, bool) override {}
        bool HasThumbnails() override { return true; }
        bool Thumbnail(std::size_t row, platform::Image& out) override {
            ++asked;
            if (row == 2) return false;
            out = {8, 4, std::vector<std::uint8_t>(8 * 4 * 4, static_cast<std::uint8_t>(100 * row))};
            return true;
        }
        int asked = 0;
    } source;
    platform::win32::ListWindow list(nullptr, "Thumbnails", source, [](int, int) {});
    HWND view = FindWindowExW(list.Handle(), nullptr, WC_LISTVIEWW, nullptr);
    ASSERT_NE(view, nullptr);
    HIMAGELIST images = ListView_GetImageList(view, LVSIL_SMALL);
    ASSERT_NE(images, nullptr);
    const auto imageOf = [&](int row) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageW(view, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    };
    const int first = imageOf(0), second = imageOf(1);
    EXPECT_GT(first, 0);
    EXPECT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(imageOf(2), 0);
    const int asked = source.asked;
    EXPECT_EQ(imageOf(0), first);
    EXPECT_EQ(source.asked, asked) << "a row's picture is made once";
    EXPECT_EQ(ImageList_GetImageCount(images), 3);
}

}  // namespace
