// The viewer's platform on Linux: FLTK 1.3 windows and dialogs on X11, a
// GLX context for the GL area, fonts through FreeType and fontconfig, and
// the game's registry entries from its Wine prefix. No toolkit header is
// included here, so the program that installs it stays toolkit-free.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform {

class FltkPlatform : public Platform {
public:
    FltkPlatform();
    ~FltkPlatform() override;
    FltkPlatform(const FltkPlatform&) = delete;
    FltkPlatform& operator=(const FltkPlatform&) = delete;

    // Whether windows can be opened: $DISPLAY names an X server that
    // answers. Otherwise why says what is missing.
    static bool DisplayAvailable(std::string* why = nullptr);

    void DebugOutput(const char* text) override;
    std::uint64_t CounterFrequency() override;
    std::uint64_t CounterValue() override;
    std::uint32_t TickCount() override;

    Answer ShowMessageBox(Owner owner, const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;
    std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                            const std::string& title, const FileFilter& filter) override;
    bool InfoDialogExists() override;
    void InfoDialogCreate() override;
    void InfoDialogSetText(const std::string& text) override;
    void InfoDialogInsertAtCaret(const std::string& text) override;
    void InfoDialogScrollToCaret(std::size_t position) override;

    ConfigResult ReadConfigString(const std::string& key, const std::string& value, std::string& out) override;

    bool CreateMainWindow(const WindowRequest& request) override;
    void DestroyMainWindow() override;
    bool MainWindowExists() override;
    void ShowMainWindow() override;
    Rect MainWindowRect() override;
    void SwapBuffers() override;
    void SetMenuCheck(int id, bool checked) override;
    void* GlProcAddress(const char* name) override;
    std::string WindowSystemExtensions() override;

    bool PeekWindowMessage(Message& out) override;
    void PostQuitMessage(int code) override;
    bool CloseRequested() override;
    void SetCursorVisible(bool visible) override;
    void SetCursorPosition(int screenX, int screenY) override;
    void CaptureMouse(bool capture) override;
    bool KeyDownNow(int key) override;
    bool KeyPressedSinceLastQuery(int key) override;

    std::string AskSaveFile(const SaveRequest& request) override;
    bool AskText(const std::string& title, const std::string& prompt, std::string& text) override;
    bool AskForm(const FormRequest& request, std::vector<std::string>& texts) override;
    std::string ClipboardText() override;
    void ShowPicture(const PictureRequest& request) override;
    void ClosePicture() override;
    bool PictureShown() override;
    // For tests: the line under the picture, as the pointer last left it.
    std::string PictureLine();
    void SetClipboardText(const std::string& text) override;
    void SetMainWindowTitle(const std::string& title) override;
    bool ShowProgress(const std::string& text, float done) override;
    void HideProgress() override;
    void ShowList(ListKind kind, const std::string& title, ListSource& source) override;
    void RefreshList(ListKind kind) override;
    void CloseList(ListKind kind) override;
    bool ListShown(ListKind kind) override;

    bool RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) override;
    bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) override;

    // For tests and diagnostics: the X window ids of the main window, its GL
    // area and the info dialog (0 when there is none), a menu item's check
    // mark (none for an id without a checkable item), the info dialog's text
    // (with '\n' line breaks) and caret, and whether the pointer is held
    // inside the GL area now.
    unsigned long MainWindowId();
    unsigned long GlAreaId();
    unsigned long InfoDialogId();
    std::optional<bool> MenuCheck(int id);
    std::string InfoDialogText();
    std::size_t InfoDialogCaret();
    bool PointerConfined();
    // The main window's title, a list window's X id (0 when not shown) and
    // its row count (-1 when there is none), whether progress is shown.
    std::string MainWindowTitle();
    unsigned long ListWindowId(ListKind kind);
    int ListRowsShown(ListKind kind);
    bool ProgressShown();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
