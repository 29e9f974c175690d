// The FLTK platform on a real X server (Xvfb in the test run): the GL
// window, its menu and the messages that keys, clicks and the window's
// controls turn into. Input comes from xdotool, as a user's would.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "platform/fltk/file_filter.h"
#include "platform/fltk/fltk_platform.h"
#include "x_answer.h"
#include "platform/fltk/key_map.h"
#include "test_util.h"

namespace {

using platform::FltkPlatform;
using platform::MenuItem;
using platform::Message;
using platform::MessageKind;

// Whether a window's pixel, read from the X server, is pure green; defined
// at the end, after the X headers.
bool PixelIsGreen(unsigned long window, int x, int y);

MenuItem Item(const char* label, int id, bool checkable = false, bool checked = false) {
    return {.label = label, .id = id, .checkable = checkable, .checked = checked, .children = {}};
}

MenuItem Submenu(const char* label, std::vector<MenuItem> children) {
    return {.label = label, .children = std::move(children)};
}

// A menu bar like the viewer's: nested submenus, separators, check marks.
std::vector<MenuItem> ViewerMenu() {
    MenuItem separator;
    separator.separator = true;
    return {Submenu("&File", {Item("Exit", 40002)}),
            Submenu("&Options", {Submenu("&Terrain", {Item("Draw &Outline", 40003, true), separator,
                                                      Item("Freeze Update", 40001, true)}),
                                 Submenu("Renderer", {Item("Fog", 40005, true, true),
                                                      Item("Object Shadows", 40008, true)})}),
            Submenu("Help", {Item("Onscreen Help", 40009, true)})};
}

// Messages until one matches, or none for seconds; the ones seen go to seen.
std::optional<Message> WaitFor(FltkPlatform& p, const std::function<bool(const Message&)>& match,
                               std::vector<Message>* seen = nullptr, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        Message m;
        while (p.PeekWindowMessage(m)) {
            if (seen) seen->push_back(m);
            if (match(m)) return m;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

std::optional<Message> WaitFor(FltkPlatform& p, MessageKind kind, std::vector<Message>* seen = nullptr) {
    return WaitFor(p, [kind](const Message& m) { return m.kind == kind; }, seen);
}

void Drain(FltkPlatform& p, double seconds = 0.3) {
    WaitFor(p, [](const Message&) { return false; }, nullptr, seconds);
}

class FltkPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!FltkPlatform::DisplayAvailable(&why)) GTEST_SKIP() << "needs an X display (run under Xvfb): " << why;
    }
    void Open(std::vector<MenuItem> menu = ViewerMenu()) {
        ASSERT_TRUE(p.CreateMainWindow({.title = "Wildview platform test", .menu = std::move(menu)}));
        p.ShowMainWindow();
        Drain(p);
    }
    void NeedXdotool() {
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool to send input";
    }
    std::string Main() { return std::to_string(p.MainWindowId()); }
    std::string Gl() { return std::to_string(p.GlAreaId()); }

    ModalWatchdog watchdog_;
    FltkPlatform p;
};

TEST_F(FltkPlatformTest, WindowHasCurrentContextOfRequestedFormat) {
    Open();
    GLint alpha = 0, depth = 0, viewport[4] = {};
    GLboolean doubleBuffered = GL_FALSE;
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(alpha, 8);
    EXPECT_GE(depth, 16);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    EXPECT_TRUE(doubleBuffered);

    // What is drawn shows after the swap, and FLTK does not draw over it
    // when it handles the window's events. (The window is read back through
    // X: llvmpipe reads its front buffer as black.)
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    p.SwapBuffers();
    glFinish();
    Drain(p, 0.2);
    EXPECT_TRUE(PixelIsGreen(p.GlAreaId(), 400, 300));

    const platform::Rect r = p.MainWindowRect();
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_GT(r.bottom - r.top, 600);  // the menu bar sits above the GL area

    EXPECT_NE(p.WindowSystemExtensions().find("GLX_"), std::string::npos);
    EXPECT_NE(p.GlProcAddress("glActiveTextureARB"), nullptr);

    // Destroying takes the dialog down too, and a second window can be made.
    p.InfoDialogCreate();
    p.DestroyMainWindow();
    EXPECT_FALSE(p.MainWindowExists());
    EXPECT_FALSE(p.InfoDialogExists());
    EXPECT_EQ(p.MainWindowId(), 0u);
    ASSERT_TRUE(p.CreateMainWindow({.title = "again", .menu = ViewerMenu()}));
    EXPECT_TRUE(p.MainWindowExists());
}

// Fog starts checked, the other checkable items not; Exit has no mark,
// whatever is set on it.
TEST_F(FltkPlatformTest, MenuCheckMarksStartAsRequestedAndFollowSetMenuCheck) {
    Open();
    const std::pair<int, std::optional<bool>> marks[] = {{40005, true}, {40008, false}, {40009, false}, {40002, {}}};
    for (const auto& [id, mark] : marks) {
        EXPECT_EQ(p.MenuCheck(id), mark) << id;
        p.SetMenuCheck(id, !mark.value_or(false));
        EXPECT_EQ(p.MenuCheck(id), mark ? std::optional<bool>(!*mark) : std::nullopt) << id;
    }
}

TEST_F(FltkPlatformTest, KeysArriveAsDownThenUpWithVirtualKeys) {
    NeedXdotool();
    Open();
    // 'f' is the File menu's mnemonic: without Alt it must stay a key.
    const std::pair<const char*, int> keys[] = {
        {"w", 'W'},        {"f", 'F'},       {"5", '5'},           {"Escape", 0x1B},    {"F1", 0x70},
        {"Delete", 0x2E},  {"space", 0x20},  {"Return", 0x0D},     {"Left", 0x25},      {"Prior", 0x21},
        {"Shift_L", 0x10}, {"Tab", 0x09},    {"Control_L", 0x11},  {"BackSpace", 0x08}};
    for (const auto& [name, vk] : keys) {
        SCOPED_TRACE(name);
        Shell("xdotool key --window " + Main() + " " + name);
        std::vector<Message> seen;
        ASSERT_TRUE(WaitFor(p, MessageKind::KeyUp, &seen));
        std::vector<Message> keyMessages;
        for (const Message& m : seen) {
            if (m.kind == MessageKind::KeyDown || m.kind == MessageKind::KeyUp) keyMessages.push_back(m);
            EXPECT_NE(m.kind, MessageKind::Close) << "Escape must not close the window";
            EXPECT_NE(m.kind, MessageKind::Command) << "a plain letter must not open the menu";
        }
        ASSERT_EQ(keyMessages.size(), 2u);
        EXPECT_EQ(keyMessages[0].kind, MessageKind::KeyDown);
        EXPECT_EQ(keyMessages[0].key, vk);
        EXPECT_FALSE(keyMessages[0].repeat);
        EXPECT_EQ(keyMessages[1].key, vk);
    }
    EXPECT_TRUE(p.MainWindowExists());
    EXPECT_TRUE(p.KeyPressedSinceLastQuery('W'));
    EXPECT_FALSE(p.KeyPressedSinceLastQuery('W')) << "cleared by the query";
    EXPECT_FALSE(p.KeyPressedSinceLastQuery('Q'));

    // Alt+F4 asks to close; system keys are not the viewer's: only Alt
    // itself is told (flying mode lets go of the pointer on it).
    std::vector<Message> seen;
    Shell("xdotool key --window " + Main() + " alt+F4");
    EXPECT_TRUE(WaitFor(p, MessageKind::Close, &seen));
    for (const Message& m : seen) {
        if (m.kind == MessageKind::KeyDown) {
            EXPECT_EQ(m.key, platform::vk::kMenu);
        }
    }
}

TEST_F(FltkPlatformTest, HeldKeyIsDownNowAndRepeatsAreMarked) {
    NeedXdotool();
    Open();
    Shell("xdotool keydown shift");
    EXPECT_TRUE(p.KeyDownNow(platform::vk::kShift));
    Shell("xdotool keyup shift");
    EXPECT_FALSE(p.KeyDownNow(platform::vk::kShift));
    EXPECT_FALSE(p.KeyDownNow('A'));

    // Held past the X server's auto-repeat delay: the key-downs after the
    // first are repeats, and one key-up ends them.
    Drain(p);
    Shell("xdotool keydown a sleep 1.2 keyup a");
    std::vector<Message> seen;
    ASSERT_TRUE(WaitFor(p, [](const Message& m) { return m.kind == MessageKind::KeyUp && m.key == 'A'; }, &seen));
    std::vector<bool> repeats;
    int ups = 0;
    for (const Message& m : seen) {
        if (m.kind == MessageKind::KeyDown && m.key == 'A') repeats.push_back(m.repeat);
        ups += m.kind == MessageKind::KeyUp;
    }
    ASSERT_GE(repeats.size(), 2u) << "no auto-repeat from the X server (xset r on?)";
    EXPECT_FALSE(repeats[0]);
    for (std::size_t i = 1; i < repeats.size(); ++i) EXPECT_TRUE(repeats[i]);
    EXPECT_EQ(ups, 1);
}

TEST_F(FltkPlatformTest, MouseMovesClicksAndTheCursorUseTheirCoordinates) {
    NeedXdotool();
    Open();
    Shell("xdotool mousemove --window " + Gl() + " 120 70");
    EXPECT_TRUE(WaitFor(p, [](const Message& m) { return m.kind == MessageKind::MouseMove && m.x == 120 && m.y == 70; }));
    Shell("xdotool mousemove --window " + Gl() + " 100 50 click 1");
    const auto click = WaitFor(p, MessageKind::LButtonDown);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->x, 100);
    EXPECT_EQ(click->y, 50);
    EXPECT_TRUE(click->leftButton);
    EXPECT_FALSE(click->shift);

    // Dragging with Shift held reports the button and the modifier. (FLTK
    // hands a move over after the other queued events, so the release comes
    // once the move has been seen, as it would from a hand.)
    Shell("xdotool keydown shift mousedown 1 mousemove --window " + Gl() + " 140 90");
    const auto drag = WaitFor(p, [](const Message& m) { return m.kind == MessageKind::MouseMove && m.x == 140; });
    Shell("xdotool mouseup 1 keyup shift");
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->y, 90);
    EXPECT_TRUE(drag->leftButton);
    EXPECT_TRUE(drag->shift);
    EXPECT_FALSE(drag->control);

    p.SetCursorPosition(321, 234);  // in screen coordinates
    EXPECT_NE(Output("xdotool getmouselocation --shell").find("X=321\nY=234\n"), std::string::npos);
}

TEST_F(FltkPlatformTest, TheWindowsControlsBecomeMessages) {
    NeedXdotool();
    Open();
    // A window manager iconifies by unmapping, and restores by mapping.
    Shell("xdotool windowunmap --sync " + Main());
    auto m = WaitFor(p, MessageKind::Activate);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->minimised);
    Shell("xdotool windowmap --sync " + Main());
    m = WaitFor(p, MessageKind::Activate);
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->minimised);

    // Resizing reports the GL area's size.
    const platform::Rect before = p.MainWindowRect();
    const int menuBar = before.bottom - before.top - 600;
    Shell("xdotool windowsize --sync " + Main() + " 900 " + std::to_string(700 + menuBar));
    m = WaitFor(p, MessageKind::Size);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->width, 900);
    EXPECT_EQ(m->height, 700);
}

TEST_F(FltkPlatformTest, MessageBoxesAnswerWithTheButtonPressed) {
    NeedXdotool();
    using platform::Answer;
    using platform::Buttons;
    using platform::Icon;
    const struct { const char* name; Buttons buttons; Icon icon; const char* key; Answer answer; } cases[] = {
        {"RetryByReturn", Buttons::RetryCancel, Icon::Exclamation, "Return", Answer::Retry},
        {"CancelByEscape", Buttons::RetryCancel, Icon::Warning, "Escape", Answer::Cancel},
        {"OkByEscape", Buttons::Ok, Icon::Exclamation, "Escape", Answer::Ok},
        {"YesByReturn", Buttons::YesNoCancel, Icon::Warning, "Return", Answer::Yes},
        {"NoByTabAndSpace", Buttons::YesNoCancel, Icon::Warning, "Tab space", Answer::No},
        {"CancelOfThreeByEscape", Buttons::YesNoCancel, Icon::Warning, "Escape", Answer::Cancel},
        {"NoOfTwoByEscape", Buttons::YesNo, Icon::Warning, "Escape", Answer::No}};
    for (const auto& c : cases) {
        const std::string caption = std::string("Box ") + c.name;
        AnswerLater(caption, c.key);
        EXPECT_EQ(p.ShowMessageBox(platform::Owner::None,
                               "Datapath '' not found. Please insert the Wildgrove CD and press RETRY, or press "
                               "CANCEL to select files manually @0 100%",
                               caption, c.buttons, c.icon),
                  c.answer)
            << c.name;
    }
    // A box owned by the main window.
    Open();
    AnswerLater("NOTE", "Return");
    EXPECT_EQ(p.ShowMessageBox(platform::Owner::MainWindow, "Can't display bumpmaps", "NOTE", Buttons::Ok,
                           Icon::Exclamation),
              Answer::Ok);
    EXPECT_TRUE(p.MainWindowExists());
}

// Opening returns an existing file or nothing; saving returns a new name as
// typed, an existing one only once the user agreed to replace it. (Names
// typed as paths and refused names are tried end to end in viewer_e2e.)
TEST_F(FltkPlatformTest, OpenFileReturnsAnExistingFileOrNothing) {
    NeedXdotool();
    TempDir dir;
    std::ofstream(dir.File("it-130.swp")) << "pixels";
    const platform::FileFilter swp{"SWP files", "*.swp"};
    AnswerLater("Load .SWP File", "Return");
    EXPECT_EQ(p.AskOpenFile(dir.path(), "it-130.swp", "Load .SWP File", swp), dir.File("it-130.swp"));
    AnswerLater("Load .SWP File", "Escape");
    EXPECT_EQ(p.AskOpenFile(dir.path(), "it-130.swp", "Load .SWP File", swp), "");
    const platform::FileFilter grf{"GRF files", "*.grf"};
    const platform::SaveRequest save{dir.path(), "new.grf", "Save level as", grf, {".grf"}, {}};
    AnswerLater("Save level as", "Return");
    EXPECT_EQ(p.AskSaveFile(save), dir.File("new.grf"));
    std::ofstream(dir.File("old.grf")) << "scene";
    // The name as typed, its extension added before the question is asked.
    AnswerLater("Save level as", "ctrl+a o l d Return");
    AnswerLater("Confirm Save As", "Return");
    EXPECT_EQ(p.AskSaveFile(save), dir.File("old.grf"));
    // The filters, written the FLTK way.
    EXPECT_EQ(platform::fltk::FltkFilter(swp), "SWP files (*.swp)");
    EXPECT_EQ(platform::fltk::FltkFilter({"Level files", "*.grf;*.pid"}), "Level files ({*.grf,*.pid})");
}

// The dialog takes the focus when shown, as a shown dialog does on Windows,
// and the keys come back to the GL area with the main window.
TEST_F(FltkPlatformTest, InfoDialogTextCaretAndFocus) {
    NeedXdotool();
    Open();
    EXPECT_FALSE(p.InfoDialogExists());
    p.InfoDialogCreate();
    ASSERT_TRUE(p.InfoDialogExists());
    EXPECT_TRUE(WaitFor(p, MessageKind::KillFocus));
    p.InfoDialogSetText("");
    p.InfoDialogInsertAtCaret("Model: tree\r\n  faces 12\r\n");
    p.InfoDialogInsertAtCaret("done");
    EXPECT_EQ(p.InfoDialogText(), "Model: tree\n  faces 12\ndone");
    EXPECT_EQ(p.InfoDialogCaret(), p.InfoDialogText().size());
    p.InfoDialogScrollToCaret(1);
    EXPECT_EQ(p.InfoDialogCaret(), 1u);
    p.InfoDialogInsertAtCaret("X");
    EXPECT_EQ(p.InfoDialogText(), "MXodel: tree\n  faces 12\ndone");
    p.InfoDialogScrollToCaret(10000);
    EXPECT_EQ(p.InfoDialogCaret(), p.InfoDialogText().size());

    p.ShowMainWindow();
    EXPECT_TRUE(WaitFor(p, MessageKind::SetFocus));
    Shell("xdotool key --window " + Main() + " p");
    EXPECT_TRUE(WaitFor(p, [](const Message& m) { return m.kind == MessageKind::KeyDown && m.key == 'P'; }));
}

TEST(FltkKeyMap, EveryKeyOfAVirtualKeyMapsBack) {
    int mapped = 0;
    for (int vk = 1; vk < 256; ++vk) {
        for (int key : platform::fltk::FltkKeysOf(vk)) EXPECT_EQ(platform::fltk::VirtualKeyOf(key), vk) << vk;
        if (!platform::fltk::FltkKeysOf(vk).empty()) ++mapped;
    }
    EXPECT_EQ(platform::fltk::FltkKeysOf(platform::vk::kShift).size(), 2u);
    EXPECT_EQ(platform::fltk::FltkKeysOf('Q'), std::vector<int>{'q'});
    // Letters, digits, 24 function keys, 10 keypad digits and the 42 other
    // virtual keys of the table (Shift, Control, Alt and Return have two keys).
    EXPECT_EQ(mapped, 26 + 10 + 24 + 10 + 42);
}

TEST(FltkPlatformWithoutWindow, QuitsQueueAndFontsComeFromTheRasteriser) {
    FltkPlatform p;
    Message m;
    EXPECT_FALSE(p.PeekWindowMessage(m));
    p.PostQuitMessage(3);
    ASSERT_TRUE(p.PeekWindowMessage(m));
    EXPECT_EQ(m.kind, MessageKind::Quit);
    EXPECT_EQ(m.quitCode, 3);
    EXPECT_FALSE(p.PeekWindowMessage(m)) << "one quit per post";

    std::vector<platform::GlyphBitmap> glyphs;
    ASSERT_TRUE(p.RasteriseFont({"Arial", 14, 500}, 32, 96, glyphs));
    EXPECT_EQ(glyphs.size(), 96u);
    int w = 0, h = 0;
    ASSERT_TRUE(p.MeasureText({"Arial", 14, 500}, "60fps", w, h));
    EXPECT_GT(w, 0);
    EXPECT_EQ(h, 14);
}

}  // namespace

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Xvfb refuses a connection now and then; try again before giving up.
Display* Connect() {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

bool PixelIsGreen(unsigned long window, int x, int y) {
    Display* display = Connect();
    if (!display) return false;
    bool green = false;
    if (XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap)) {
        const unsigned long pixel = XGetPixel(image, 0, 0);
        green = (pixel & image->green_mask) == image->green_mask && !(pixel & (image->red_mask | image->blue_mask));
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return green;
}

}  // namespace

