// The three text sinks: the log file "debuglog.txt", the platform debug
// output and the info dialog. All of them format printf-style into one shared
// 2048-byte buffer, so a message holds at most 2047 characters and an
// argument must never point into that buffer. Main thread only.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

constexpr std::size_t kFormatBufferSize = 2048;

// The formats are C99's on every system (MinGW builds with its own stdio).
#ifdef __MINGW32__
#define WV_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define WV_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif

// Opens (truncating) the log file; returns false and leaves logging off when
// it cannot be created.
bool OpenLogFile(const char* path);
void CloseLogFile();
bool LogFileOpen();
// Also appends every log message to text (null: stop), for headless tools.
void SetLogCapture(std::string* text);

void LogPrintf(const char* format, ...) WV_PRINTF_LIKE(1, 2);
void DebugPrintf(const char* format, ...) WV_PRINTF_LIKE(1, 2);
void InfoPrintf(const char* format, ...) WV_PRINTF_LIKE(1, 2);

// Creates and shows the info dialog when needed, then empties its text.
void ShowInfoDialog();
// Puts the caret at character 1 and scrolls it into view.
void ScrollInfoToTop();

// Formats into the shared buffer and returns it (the overlay text uses this).
const char* FormatShared(const char* format, ...) WV_PRINTF_LIKE(1, 2);
const char* FormatSharedV(const char* format, va_list args);

// Lines the design prints on the process's standard output (object loading,
// block-table errors, the clock warning). Tools that print their own results
// on standard output can send these elsewhere.
void ConsolePrintf(const char* format, ...) WV_PRINTF_LIKE(1, 2);
// nullptr silences them; RestoreConsoleStream sends them to standard
// output again.
void SetConsoleStream(std::FILE* stream);
void RestoreConsoleStream();
