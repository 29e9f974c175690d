// The FLTK platform as a user meets it on a real X server (Xvfb in the test
// run): the quit chord from the info dialog, a close request made while a
// box is up, the pointer held in the window while flying, the read-only
// report and the focus coming back after it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/fltk/fltk_platform.h"
#include "platform/fltk/fltk_window.h"
#include "resources/resources.h"

namespace {

using platform::FltkPlatform;
using platform::Message;
using platform::MessageKind;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

// Xvfb refuses a connection now and then: a command that could not reach it
// sent nothing and is run again.
void Shell(const std::string& command) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::string out = Output(command + " 2>&1; echo \"rc=$?\"");
        if (out.size() >= 5 && out.compare(out.size() - 5, 5, "rc=0\n") == 0) return;
        if (out.find("Can't open display") == std::string::npos &&
            out.find("Failed creating new xdo") == std::string::npos)
            FAIL() << command << "\n" << out;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FAIL() << "the X server did not answer: " << command;
}

// Runs while the test sits in a modal loop: waits for a mapped window of
// that title, then runs the command line (with $w for its id).
void WhenShown(const std::string& title, const std::string& then) {
    Shell("(timeout 20 sh -c 'until w=$(xdotool search --onlyvisible --name \"^" + title +
          "$\" | head -n 1) && [ -n \"$w\" ]; do sleep 0.1; done; sleep 0.3; " + then + "' >/dev/null 2>&1 &)");
}

bool PumpUntil(FltkPlatform& p, const std::function<bool(const Message&)>& match, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        Message m;
        while (p.PeekMessage(m))
            if (match(m)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void Drain(FltkPlatform& p, double seconds = 0.3) {
    PumpUntil(p, [](const Message&) { return false; }, seconds);
}

// The pointer's screen position, from the X server.
std::pair<int, int> Pointer() {
    int x = -1, y = -1;
    std::sscanf(Output("xdotool getmouselocation 2>/dev/null").c_str(), "x:%d y:%d", &x, &y);
    return {x, y};
}

class FltkUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!FltkPlatform::DisplayAvailable(&why)) GTEST_SKIP() << "needs an X display (run under Xvfb): " << why;
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool";
        platform::WindowRequest r;
        r.title = "Wildview user test";
        r.menu = MainMenu();
        ASSERT_TRUE(p.CreateMainWindow(r));
        p.ShowMainWindow();
        Drain(p);
    }
    std::string Id(unsigned long window) { return std::to_string(window); }
    // Opens the info dialog with a report and gives it the keyboard.
    void FocusedReport() {
        p.InfoDialogCreate();
        p.InfoDialogSetText("Model: tree\r\n");
        Drain(p, 0.3);
        Shell("xdotool windowfocus --sync " + Id(p.InfoDialogId()));
        Drain(p, 0.3);
    }

    FltkPlatform p;
};

// The quit chord reads F4 held now and Alt pressed since the last query;
// both must register while the info dialog has the keyboard.
TEST_F(FltkUserTest, TheQuitChordRegistersInTheInfoDialog) {
    FocusedReport();
    EXPECT_FALSE(p.KeyPressedSinceLastQuery(platform::vk::kMenu));
    Shell("xdotool keydown alt keydown F4");
    Drain(p, 0.3);
    EXPECT_TRUE(p.KeyDownNow(platform::vk::kF4));
    EXPECT_TRUE(p.KeyPressedSinceLastQuery(platform::vk::kMenu));
    EXPECT_FALSE(p.KeyPressedSinceLastQuery(platform::vk::kMenu)) << "cleared by the query";
    Shell("xdotool keyup F4 keyup alt");
    Drain(p, 0.2);
    EXPECT_FALSE(p.KeyDownNow(platform::vk::kF4));
}

// FLTK drops a close request for a window under a modal box; it is kept
// for when the box has been answered.
TEST_F(FltkUserTest, ACloseRequestMadeWhileABoxIsUpIsKept) {
    WhenShown("Unexpected Wildgrove Event", std::string(WV_X_CLOSE) + " " + Id(p.MainWindowId()) +
                                                "; sleep 0.3; xdotool windowfocus --sync $w key Return");
    EXPECT_FALSE(p.CloseRequested());
    EXPECT_EQ(p.MessageBox(platform::Owner::MainWindow, "index over", "Unexpected Wildgrove Event",
                           platform::Buttons::Ok, platform::Icon::None),
              platform::Answer::Ok);
    EXPECT_TRUE(p.CloseRequested());
    EXPECT_TRUE(PumpUntil(p, [](const Message& m) { return m.kind == MessageKind::Close; }));
    EXPECT_FALSE(p.CloseRequested());
}

TEST_F(FltkUserTest, FlyingHoldsThePointerInTheWindowUntilReleased) {
    p.CaptureMouse(true);
    Drain(p);
    ASSERT_TRUE(p.PointerConfined());
    const platform::Rect r = p.MainWindowRect();
    Shell("xdotool mousemove " + std::to_string(r.right + 300) + " " + std::to_string(r.bottom + 200));
    auto [x, y] = Pointer();
    EXPECT_LT(x, r.right);
    EXPECT_LT(y, r.bottom);

    // A box takes the pointer over while it is up; afterwards it is held again.
    WhenShown("NOTE", "xdotool windowfocus --sync $w key Return");
    p.MessageBox(platform::Owner::MainWindow, "Can't display bumpmaps", "NOTE", platform::Buttons::Ok,
                 platform::Icon::None);
    Drain(p, 0.6);
    EXPECT_TRUE(p.PointerConfined());

    p.CaptureMouse(false);
    EXPECT_FALSE(p.PointerConfined());
    Shell("xdotool mousemove " + std::to_string(r.right + 300) + " " + std::to_string(r.bottom + 200));
    std::tie(x, y) = Pointer();
    EXPECT_EQ(x, r.right + 300);
    EXPECT_EQ(y, r.bottom + 200);
}

TEST_F(FltkUserTest, TheReportIsReadOnlyAndClosingItGivesTheKeysBack) {
    FocusedReport();
    Shell("xdotool type --delay 30 'xyz'");
    Shell("xdotool key BackSpace Delete ctrl+v");
    Drain(p, 0.3);
    EXPECT_EQ(p.InfoDialogText(), "Model: tree\n");

    // Close, at the bottom right.
    Shell("xdotool mousemove --window " + Id(p.InfoDialogId()) + " 520 364 click 1");
    ASSERT_TRUE(PumpUntil(p, [&](const Message&) { return !p.InfoDialogExists(); }) || !p.InfoDialogExists());
    Drain(p, 0.3);
    Shell("xdotool key k");
    EXPECT_TRUE(PumpUntil(p, [](const Message& m) { return m.kind == MessageKind::KeyDown && m.key == 'K'; }))
        << "the key went to the main window";
}

// The menu's separators become FLTK dividers under the item before them.
TEST(FltkMenu, SeparatorsDivideTheItemsAroundThem) {
    platform::fltk::WindowEvents events;
    platform::fltk::MenuModel model(MainMenu(), events);
    int dividers = 0;
    const Fl_Menu_Item* items = model.Items();
    for (int i = 0; i < items->size(); ++i) {
        if (!items[i].text || !(items[i].flags & FL_MENU_DIVIDER)) continue;
        ++dividers;
        const std::string label = items[i].text;
        EXPECT_TRUE(label == "Draw &Outline" || label == "Object Shadows") << label;
    }
    EXPECT_EQ(dividers, 2);
}

}  // namespace
