#include "diag/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "diag/state_registry.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace {

// Owned here: the shared format buffer, the expansion buffer for the info
// dialog, the log file and a tool's capture. The buffers are written by
// every sink; the file by OpenLogFile and CloseLogFile; the capture and the
// console stream by the tools. The process reset closes and clears it.
struct LogState {
    char buffer[kFormatBufferSize] = {};
    char expansion[kFormatBufferSize] = {};
    std::unique_ptr<platform::OutputFile> file;
    std::string* capture = nullptr;
};

LogState& State() {
    static LogState state;
    return state;
}

void FormatInto(const char* format, va_list args) {
    LogState& s = State();
    std::vsnprintf(s.buffer, sizeof s.buffer, format, args);
    s.buffer[sizeof s.buffer - 1] = '\0';
}

}  // namespace

bool OpenLogFile(const char* path) {
    CloseLogFile();
    std::string error;
    State().file = platform::Files().CreateOrTruncate(path ? path : "", error);
    return State().file != nullptr;
}

void CloseLogFile() {
    LogState& s = State();
    if (s.file) {
        std::string ignored;
        s.file->Close(ignored);
        s.file.reset();
    }
}

bool LogFileOpen() { return State().file != nullptr; }

void SetLogCapture(std::string* text) { State().capture = text; }

const char* FormatSharedV(const char* format, va_list args) {
    if (!format) return nullptr;
    FormatInto(format, args);
    return State().buffer;
}

const char* FormatShared(const char* format, ...) {
    if (!format) return nullptr;
    va_list args;
    va_start(args, format);
    FormatInto(format, args);
    va_end(args);
    return State().buffer;
}

void LogPrintf(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    FormatInto(format, args);
    va_end(args);
    LogState& s = State();
    if (s.capture) *s.capture += s.buffer;
    // Written unchanged (no second formatting) and at once: the log must
    // hold everything up to a crash. A failed write (a full disk) is dropped.
    std::string ignored;
    if (s.file) s.file->Write(s.buffer, std::strlen(s.buffer), ignored);
}

void DebugPrintf(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    FormatInto(format, args);
    va_end(args);
    platform::Current().DebugOutput(State().buffer);
}

void InfoPrintf(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    FormatInto(format, args);
    va_end(args);

    // The text box wants "\r\n" line breaks. Text that would grow past the
    // expansion buffer is cut there, never written beyond it.
    LogState& s = State();
    std::size_t out = 0;
    const std::size_t limit = sizeof s.expansion - 1;
    for (const char* p = s.buffer; *p && out < limit; ++p) {
        if (*p == '\n') {
            if (out + 2 > limit) break;
            s.expansion[out++] = '\r';
        }
        s.expansion[out++] = *p;
    }
    s.expansion[out] = '\0';

    platform::Platform& pf = platform::Current();
    if (!pf.InfoDialogExists()) pf.InfoDialogCreate();
    pf.InfoDialogInsertAtCaret(s.expansion);
}

void ShowInfoDialog() {
    platform::Platform& pf = platform::Current();
    if (!pf.InfoDialogExists()) pf.InfoDialogCreate();
    pf.InfoDialogSetText("");
}

void ScrollInfoToTop() { platform::Current().InfoDialogScrollToCaret(1); }

namespace {
// Owned here: set by the tools and the headless loader (SetConsoleStream),
// put back by RestoreConsoleStream and the process reset.
bool gConsoleSet = false;       // false: standard output
std::FILE* gConsole = nullptr;  // when set; null: nowhere
}  // namespace

void SetConsoleStream(std::FILE* stream) {
    gConsoleSet = true;
    gConsole = stream;
}

void RestoreConsoleStream() {
    gConsoleSet = false;
    gConsole = nullptr;
}

void ConsolePrintf(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    std::FILE* out = gConsoleSet ? gConsole : stdout;
    if (out) std::vfprintf(out, format, args);
    va_end(args);
}

namespace {
// Closes a log file still open; a tool's capture and console go back too.
const StateReset kLogReset{"log", StateLayer::Base, StateScope::Process, [] {
    CloseLogFile();
    SetLogCapture(nullptr);
    RestoreConsoleStream();
}};
}  // namespace
