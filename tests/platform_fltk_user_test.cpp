// The FLTK platform as a user meets it on a real X server (Xvfb in the test
// run): the quit chord from the info dialog, a close request made while a
// box is up, the pointer held in the window while flying, the read-only
// report and the focus coming back after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/fltk/fltk_platform.h"
#include "x_answer.h"
#include "test_form.h"
#include "platform/fltk/fltk_window.h"
#include "resources/resources.h"

namespace {

using platform::FltkPlatform;
using platform::Message;
using platform::MessageKind;

bool PumpUntil(FltkPlatform& p, const std::function<bool(const Message&)>& match, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        Message m;
        while (p.PeekWindowMessage(m))
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

    ModalWatchdog watchdog_;
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
                                                " && sleep 0.3 && xdotool windowfocus --sync $w key Return");
    EXPECT_FALSE(p.CloseRequested());
    EXPECT_EQ(p.ShowMessageBox(platform::Owner::MainWindow, "index over", "Unexpected Wildgrove Event",
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
    p.ShowMessageBox(platform::Owner::MainWindow, "Can't display bumpmaps", "NOTE", platform::Buttons::Ok,
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
    p.InfoDialogCreate();
    EXPECT_EQ(p.InfoDialogText(), "") << "a new dialog starts empty";
}

// A list of numbered rows; the filter keeps rows whose text contains it.
class NumberRows : public platform::ListSource {
public:
    explicit NumberRows(int count) {
        for (int i = 0; i < count; ++i) all_.push_back(i);
        shown_ = all_;
    }
    std::vector<std::string> Columns() override { return {"Serial", "Name"}; }
    std::size_t Rows() override { return shown_.size(); }
    std::string Cell(std::size_t row, std::size_t column) override {
        ++cellsAsked;
        const int n = shown_.at(row);
        return column == 0 ? std::to_string(n) : "row " + std::to_string(n);
    }
    void SetFilter(const std::string& text) override {
        shown_.clear();
        for (int n : all_)
            if (std::to_string(n).find(text) != std::string::npos) shown_.push_back(n);
    }
    void SortBy(std::size_t, bool ascending) override {
        std::sort(shown_.begin(), shown_.end());
        if (!ascending) std::reverse(shown_.begin(), shown_.end());
    }
    int cellsAsked = 0;

private:
    std::vector<int> all_, shown_;
};

// The geometry xdotool reports for a window: its top left on the screen.
std::pair<int, int> WindowOrigin(unsigned long id) {
    int x = 0, y = 0;
    const std::string g = Output("xdotool getwindowgeometry " + std::to_string(id));
    const auto at = g.find("Position: ");
    if (at != std::string::npos) std::sscanf(g.c_str() + at, "Position: %d,%d", &x, &y);
    return {x, y};
}

// Tens of thousands of rows cost only the cells on screen; the filter, a
// double-click and (in the bookmarks) the Delete key reach the program;
// the close button hides the list and the keys go back to the main window.
TEST_F(FltkUserTest, AListDrawsOnlyWhatIsSeenAndPostsTheChosenRow) {
    NumberRows rows(50000);
    p.ShowList(platform::ListKind::Bookmarks, "Numbers", rows);
    Drain(p, 0.5);
    ASSERT_TRUE(p.ListShown(platform::ListKind::Bookmarks));
    EXPECT_EQ(p.ListRowsShown(platform::ListKind::Bookmarks), 50000);
    EXPECT_GT(rows.cellsAsked, 0);
    EXPECT_LT(rows.cellsAsked, 200) << "cells are asked for as they are drawn";

    const unsigned long list = p.ListWindowId(platform::ListKind::Bookmarks);
    const auto [x, y] = WindowOrigin(list);
    Shell("xdotool mousemove " + std::to_string(x + 200) + " " + std::to_string(y + 20) + " click 1");
    Shell("xdotool type --delay 30 4999");
    Drain(p, 0.4);
    EXPECT_EQ(p.ListRowsShown(platform::ListKind::Bookmarks), 15);  // 4999, 14999 .. 44999, 49990 .. 49999

    Shell("xdotool mousemove " + std::to_string(x + 150) + " " + std::to_string(y + 74) +
          " click --repeat 2 --delay 80 1");
    Message chosen;
    ASSERT_TRUE(PumpUntil(p, [&](const Message& m) { return m.kind == MessageKind::ListChoice && (chosen = m, true); }));
    EXPECT_EQ(chosen.list, platform::ListKind::Bookmarks);
    EXPECT_EQ(chosen.row, 0);
    EXPECT_EQ(chosen.command, platform::kListActivate);
    Drain(p, 0.2);
    Shell("xdotool key Delete");
    ASSERT_TRUE(PumpUntil(p, [&](const Message& m) { return m.kind == MessageKind::ListChoice && (chosen = m, true); }));
    EXPECT_EQ(chosen.command, platform::kListDelete);
    EXPECT_EQ(chosen.row, 0);

    Shell(std::string(WV_X_CLOSE) + " " + Id(list));
    Drain(p, 0.5);
    EXPECT_FALSE(p.ListShown(platform::ListKind::Bookmarks));
    Shell("xdotool key k");
    EXPECT_TRUE(PumpUntil(p, [](const Message& m) { return m.kind == MessageKind::KeyDown && m.key == 'K'; }))
        << "the keys went back to the main window";
    p.CloseList(platform::ListKind::Bookmarks);
    EXPECT_EQ(p.ListRowsShown(platform::ListKind::Bookmarks), -1);
}

// What is typed replaces the suggestion; Escape cancels.
TEST_F(FltkUserTest, TheTextPromptAnswersWithWhatWasTyped) {
    std::string text = "suggested";
    WhenShown("Add bookmark", "xdotool windowfocus --sync $w type --delay 30 pond && xdotool key Return");
    ASSERT_TRUE(p.AskText("Add bookmark", "Name of this place:", text));
    EXPECT_EQ(text, "pond");
    WhenShown("Add bookmark", "xdotool windowfocus --sync $w key Escape");
    EXPECT_FALSE(p.AskText("Add bookmark", "Name of this place:", text));
    EXPECT_EQ(text, "pond");
}

// The form: typing replaces the first field, a read-only one keeps its
// text, a button of the caller's changes the texts, OK is refused while the
// check says why (in a box over the form, which stays open).
TEST_F(FltkUserTest, TheFormTakesTypedTextsButtonsAndRefusals) {
    std::vector<std::string> checked;
    const platform::FormRequest form = TestForm(checked);
    std::vector<std::string> texts;
    WhenShown("Form test", "xdotool windowfocus --sync $w type --delay 30 21 && xdotool key Return");
    ASSERT_TRUE(p.AskForm(form, texts));
    EXPECT_EQ(texts, (std::vector<std::string>{"21", "r"}));

    // The button sits at the bottom left: 10 pixels in, 10 up, 25 high.
    WhenShown("Form test", "xdotool windowfocus --sync $w mousemove --window $w 40 88 click 1 && sleep 0.3 && "
                           "xdotool windowfocus --sync $w key Return");
    ASSERT_TRUE(p.AskForm(form, texts));
    EXPECT_EQ(texts, (std::vector<std::string>{"11", "r"}));

    checked.clear();
    WhenShown("Form test", "xdotool windowfocus --sync $w type --delay 30 bad && xdotool key Return && sleep 0.8 && "
                           "xdotool key Escape && sleep 0.5 && xdotool windowfocus --sync $w key BackSpace BackSpace "
                           "BackSpace && xdotool type --delay 30 ok && xdotool key Return");
    ASSERT_TRUE(p.AskForm(form, texts));
    EXPECT_EQ(texts[0], "ok");
    EXPECT_EQ(checked, (std::vector<std::string>{"bad", "ok"}));

    WhenShown("Form test", "xdotool windowfocus --sync $w type --delay 30 5 && xdotool key Escape");
    EXPECT_FALSE(p.AskForm(form, texts));
}

// Text put on the clipboard is there for this program and for others, and
// another program's text comes back.
TEST_F(FltkUserTest, TheClipboardIsTheSystemsBothWays) {
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xclip";
    p.SetClipboardText("1 2.5 -3 90 0 0");
    EXPECT_EQ(p.ClipboardText(), "1 2.5 -3 90 0 0");
    // xclip asks the X server, which asks us: the events must keep flowing.
    const std::string file = ::testing::TempDir() + "wildview_clip.txt";
    std::remove(file.c_str());
    Shell("(timeout 5 xclip -o -selection clipboard > " + file + " 2>/dev/null &)");
    Drain(p, 1.0);
    EXPECT_EQ(Output("cat " + file), "1 2.5 -3 90 0 0");
    std::remove(file.c_str());
    // In the foreground (-quiet), so that the time limit can end it.
    Shell("(printf 'from another program' | timeout 5 xclip -quiet -i -selection clipboard -loops 1 "
          ">/dev/null 2>&1 &)");
    Drain(p, 0.5);
    EXPECT_EQ(p.ClipboardText(), "from another program");
}

// The picture window: the texel under the pointer described (the picture
// drawn 8 times its size in the middle of its 512 x 512 area), its button
// posting the command, its close box closing it.
TEST_F(FltkUserTest, ThePictureWindowDescribesTheTexelUnderThePointer) {
    platform::PictureRequest request;
    request.title = "Picture test";
    request.image = {4, 2, std::vector<std::uint8_t>(4 * 2 * 4, 255)};
    request.describe = [](int x, int y) { return "texel " + std::to_string(x) + " " + std::to_string(y); };
    request.buttons = {{"Save as PNG...", kCmdSaveTexturePng}};
    p.ShowPicture(request);
    Drain(p, 0.5);
    ASSERT_TRUE(p.PictureShown());
    const std::string id = Output("xdotool search --onlyvisible --name '^Picture test$' | head -n 1");
    ASSERT_FALSE(id.empty());
    const std::string w = id.substr(0, id.find('\n'));
    EXPECT_EQ(p.PictureLine(), "Point at the picture to read its texels");
    Shell("xdotool mousemove --window " + w + " " + std::to_string(8 + 240 + 12) + " " + std::to_string(8 + 248 + 3));
    Drain(p, 0.5);
    EXPECT_EQ(p.PictureLine(), "texel 1 0");
    Shell("xdotool mousemove --window " + w + " " + std::to_string(8 + 240 + 31) + " " + std::to_string(8 + 248 + 15));
    Drain(p, 0.5);
    EXPECT_EQ(p.PictureLine(), "texel 3 1");
    // The button, at the bottom right of the 528 x 561 window: 8 pixels in, 8 up, 120 x 25.
    Shell("xdotool mousemove --window " + w + " " + std::to_string(528 - 8 - 60) + " " + std::to_string(561 - 8 - 12) +
          " click 1");
    EXPECT_TRUE(PumpUntil(p, [](const Message& m) {
        return m.kind == MessageKind::Command && m.command == kCmdSaveTexturePng;
    })) << "the button posts its command to the main window";
    Shell(std::string(WV_X_CLOSE) + " " + w);
    Drain(p, 0.5);
    EXPECT_FALSE(p.PictureShown());
}

// The title follows the program; progress shows while a job runs.
TEST_F(FltkUserTest, TheTitleAndTheProgressWindowShow) {
    p.SetMainWindowTitle("Wildview user test - house_003 #24  [unsaved edits]");
    Drain(p, 0.3);
    EXPECT_EQ(Output("xdotool getwindowname " + Id(p.MainWindowId())),
              "Wildview user test - house_003 #24  [unsaved edits]\n");
    EXPECT_TRUE(p.ShowProgress("Exporting glTF...", 0.25f));
    EXPECT_TRUE(p.ProgressShown());
    EXPECT_NE(Output("xdotool search --onlyvisible --name '^Working$'"), "");
    EXPECT_TRUE(p.ShowProgress("Exporting glTF...", 1.0f));
    p.HideProgress();
    EXPECT_FALSE(p.ProgressShown());
    Drain(p, 0.3);
    EXPECT_EQ(Output("xdotool search --onlyvisible --name '^Working$'"), "");
}

// The job hears of Cancel, clicked or as Escape, at its next report; a new
// job starts uncancelled.
TEST_F(FltkUserTest, TheProgressWindowsCancelStopsTheJob) {
    for (const char* press : {"mousemove --window $w 310 79 click 1", "key --window $w Escape"}) {
        ASSERT_TRUE(p.ShowProgress("Drawing the overview map...", 0.1f)) << press;
        Drain(p, 0.3);
        std::string id = Output("xdotool search --onlyvisible --name '^Working$'");
        ASSERT_NE(id, "") << press;
        id = id.substr(0, id.find('\n'));
        std::string command = std::string("xdotool windowfocus --sync $w ") + press;
        for (std::size_t at; (at = command.find("$w")) != std::string::npos;) command.replace(at, 2, id);
        Shell(command);
        Drain(p, 0.3);
        EXPECT_FALSE(p.ShowProgress("Drawing the overview map...", 0.2f)) << press;
        EXPECT_FALSE(p.ShowProgress("Drawing the overview map...", 0.3f)) << press << ": it stays cancelled";
        p.HideProgress();
        Drain(p, 0.3);
    }
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
        EXPECT_TRUE(label == "Export overview &map..." || label == "&Redo  Ctrl+Y" || label == "&Bookmarks..." ||
                    label == "Draw &Outline" || label == "Object Shadows")
            << label;
    }
    EXPECT_EQ(dividers, 5);
}

}  // namespace
