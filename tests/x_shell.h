// Commands against the X server for the window-system tests: xdotool and
// friends, run through the shell.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

// What a command line printed on standard output.
inline std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

// Runs a command; a command that could not reach the X server (which Xvfb
// refuses now and then) sent nothing and is run again.
inline void Shell(const std::string& command) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::string out = Output(command + " 2>&1; echo \"rc=$?\"");
        if (out.size() >= 5 && out.compare(out.size() - 5, 5, "rc=0\n") == 0) return;
        if (out.find("Can't open display") == std::string::npos &&
            out.find("Failed creating new xdo") == std::string::npos) {
            FAIL() << command << "\n" << out;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FAIL() << "the X server did not answer: " << command;
}
