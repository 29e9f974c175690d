// Running a command-line tool as a user runs it, for the tool tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "test_util.h"

struct RunResult {
    int status;
    std::string out, err;
};

// Runs a shell command line with its output captured in files of dir.
inline RunResult RunTool(const TempDir& dir, const std::string& args) {
    const std::string cmd = args + " >" + dir.File("stdout") + " 2>" + dir.File("stderr");
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir.File("stdout")), ReadText(dir.File("stderr"))};
}
