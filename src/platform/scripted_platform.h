// The scripted platform for tests and headless runs: message boxes and
// file dialogs are recorded and answered from queues (OK or Cancel, and
// "cancelled", once a queue is empty), debug output and the info dialog
// are captured, the clock is driven by hand, window messages come from a
// queue the test fills, and configuration values from a table.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct RecordedBox {
    Owner owner;
    std::string text;
    std::string caption;
    Buttons buttons;
    Icon icon;
};

// One thing the scripted user does in a form: type a field's text, press
// one of the request's buttons, OK or Cancel.
struct FormAction {
    enum class Kind { Type, Press, Ok, Cancel } kind = Kind::Ok;
    std::size_t index = 0;  // Type: the field; Press: the button
    std::string text;
    static FormAction Type(std::size_t field, std::string text) { return {Kind::Type, field, std::move(text)}; }
    static FormAction Press(std::size_t button) { return {Kind::Press, button, {}}; }
    static FormAction Ok() { return {Kind::Ok, 0, {}}; }
    static FormAction Cancel() { return {Kind::Cancel, 0, {}}; }
};

struct RecordedDialog {
    std::string initialDirectory, initialName, title;
    FileFilter filter;
};

class ScriptedPlatform : public Platform {
public:
    void DebugOutput(const char* text) override { debug += text; }
    std::uint64_t CounterFrequency() override { return frequency; }
    std::uint64_t CounterValue() override { return counter; }
    std::uint32_t TickCount() override { return ticks; }

    Answer ShowMessageBox(Owner owner, const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;
    std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                            const std::string& title, const FileFilter& filter) override;
    bool InfoDialogExists() override { return infoOpen; }
    void InfoDialogCreate() override;
    void InfoDialogSetText(const std::string& text) override;
    void InfoDialogInsertAtCaret(const std::string& text) override;
    void InfoDialogScrollToCaret(std::size_t position) override;
    ConfigResult ReadConfigString(const std::string& key, const std::string& value, std::string& out) override;

    bool CreateMainWindow(const WindowRequest& request) override;
    void DestroyMainWindow() override { windowOpen = false; }
    bool MainWindowExists() override { return windowOpen; }
    void ShowMainWindow() override { windowShown = true; }
    Rect MainWindowRect() override { return windowRect; }
    void SwapBuffers() override { ++swaps; }
    void SetMenuCheck(int id, bool checked) override { menuChecks[id] = checked; }
    void* GlProcAddress(const char* name) override { return procAddress ? procAddress(name) : nullptr; }
    std::string WindowSystemExtensions() override { return windowSystemExtensions; }

    bool PeekWindowMessage(Message& out) override;
    void PostQuitMessage(int code) override;
    bool CloseRequested() override;
    void SetCursorVisible(bool visible) override { cursorVisible = visible; }
    void SetCursorPosition(int x, int y) override { cursorMoves.push_back({x, y}); }
    void CaptureMouse(bool capture) override { mouseCaptured = capture; }
    bool KeyDownNow(int key) override { return keysDown.count(key) != 0; }
    bool KeyPressedSinceLastQuery(int key) override;

    std::string AskSaveFile(const SaveRequest& request) override;
    bool AskText(const std::string& title, const std::string& prompt, std::string& text) override;
    void SetMainWindowTitle(const std::string& title) override { titles.push_back(title); }
    bool AskForm(const FormRequest& request, std::vector<std::string>& texts) override;
    std::string ClipboardText() override { return clipboard; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }
    bool ShowProgress(const std::string& text, float done) override {
        progress.push_back({text, done});
        return progress.size() <= cancelAfterProgress;
    }
    void HideProgress() override {
        progressHidden = true;
    }
    void ShowList(ListKind kind, const std::string& title, ListSource& source) override {
        lists[kind] = &source;
        (void)title;
    }
    void RefreshList(ListKind kind) override { ++listRefreshes[kind]; }
    void CloseList(ListKind kind) override { lists.erase(kind); }
    bool ListShown(ListKind kind) override { return lists.count(kind) != 0; }
    void ShowPicture(const PictureRequest& request) override { pictures.push_back(request); pictureShown = true; }
    void ClosePicture() override { pictureShown = false; }
    bool PictureShown() override { return pictureShown; }

    bool RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) override;
    bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) override;

    // Captured and scripted state, public so that tests can read and set it.
    std::string debug;
    std::vector<RecordedBox> boxes;
    std::deque<Answer> answers;
    std::vector<RecordedDialog> dialogs;
    std::deque<std::string> fileAnswers;  // empty string: the user cancelled
    std::vector<RecordedDialog> saveDialogs;
    // Empty string: the user cancelled. An answer the request refuses is
    // recorded in refusals and the next one is taken, as the dialog would
    // stay open.
    std::deque<std::string> saveAnswers;
    std::vector<std::string> refusals;
    std::deque<std::optional<std::string>> textAnswers;  // none: cancelled
    std::vector<std::string> titles;
    // Each form is played from the next list; a list that runs out (or
    // none) cancels it. What a refused OK or a button said is recorded in
    // boxes, captioned with the form's title, and the form stays open.
    std::deque<std::vector<FormAction>> formAnswers;
    std::vector<FormRequest> forms;
    std::vector<std::vector<std::string>> formTexts;  // the texts each form showed first
    std::string clipboard;
    std::vector<std::pair<std::string, float>> progress;
    bool progressHidden = false;
    // The user presses Cancel once this many progress reports were shown.
    std::size_t cancelAfterProgress = SIZE_MAX;
    std::map<ListKind, ListSource*> lists;
    std::map<ListKind, int> listRefreshes;
    std::vector<PictureRequest> pictures;  // every picture shown, in order
    bool pictureShown = false;
    bool infoOpen = false;
    int infoCreations = 0;
    std::string infoText;
    std::size_t infoCaret = 0;
    std::uint64_t frequency = 1000;
    std::uint64_t counter = 0;
    std::uint32_t ticks = 0;
    // key -> value name -> text; a key that is absent gives NoKey.
    std::map<std::string, std::map<std::string, std::string>> config;

    bool windowOpen = false, windowShown = false;
    bool failWindowCreation = false;
    WindowRequest window;
    Rect windowRect{0, 0, 816, 659};
    int swaps = 0;
    std::map<int, bool> menuChecks;
    std::function<void*(const char*)> procAddress;
    std::string windowSystemExtensions;
    std::deque<Message> messages;
    std::vector<int> quitsPosted;
    bool cursorVisible = true;
    bool mouseCaptured = false;
    std::vector<std::pair<int, int>> cursorMoves;
    std::set<int> keysDown;
    std::set<int> keysPressed;  // cleared key by key as they are queried
    // Fonts come from here when set (a real rasteriser in GL tests).
    Platform* fonts = nullptr;
};

// Installs a platform for the lifetime of the guard, then restores the
// console platform.
class PlatformScope {
public:
    explicit PlatformScope(Platform& platform) { Install(&platform); }
    ~PlatformScope() { Install(nullptr); }
    PlatformScope(const PlatformScope&) = delete;
    PlatformScope& operator=(const PlatformScope&) = delete;
};

}  // namespace platform
