// Answering the program's modal windows from outside the process while a
// test sits in their loop, and a watchdog for an answer that got lost.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "x_shell.h"

// Runs then (a command line; $w is the window's id) once a window titled
// title is mapped. A window of that title still mapped from an earlier call
// is passed over (it may be destroyed under the command), and an attempt
// that failed, the window having gone or the X server having refused the
// connection, is made again until the command succeeds or 20 s pass.
inline void WhenShown(const std::string& title, const std::string& then) {
    const std::string search = "xdotool search --onlyvisible --name \"^" + title + "$\"";
    std::string stale = Output(search + " 2>/dev/null");
    for (char& c : stale)
        if (c == '\n') c = ' ';
    Shell("(timeout 20 sh -c 'while :; do for w in $(" + search + " 2>/dev/null); do case \" " + stale +
          " \" in *\" $w \"*) continue;; esac; sleep 0.3; " + then +
          " && exit 0; done; sleep 0.1; done' >/dev/null 2>&1 &)");
}

// Answers the next modal window titled title with keys.
inline void AnswerLater(const std::string& title, const std::string& keys) {
    WhenShown(title, "xdotool windowfocus --sync $w sleep 0.2 key " + keys);
}

// Closes a modal window left up for seconds, as its close button would, and
// fails the test: a lost answer then costs seconds and names the window
// where it would hold the test until ctest killed it.
class ModalWatchdog {
public:
    explicit ModalWatchdog(int seconds = 30);
    ~ModalWatchdog();
    ModalWatchdog(const ModalWatchdog&) = delete;
    ModalWatchdog& operator=(const ModalWatchdog&) = delete;

private:
    static void Tick(void* data);

    int limit_;
    unsigned long window_ = 0;  // the X window of the modal one, seen for seconds_
    int seconds_ = 0;
};
