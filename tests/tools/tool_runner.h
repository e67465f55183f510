// Runs the built lzx tool as a program, with its output caught in files of
// the current (scratch) directory.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/tempdir.h"

struct ToolRun {
    int code;  // the exit code; -1 when the tool did not exit by itself
    std::string out, err;
};

inline ToolRun runTool(const std::string& args) {
    std::string cmd = std::string(LZX_TOOL) + " " + args + " >tool-out.txt 2>tool-err.txt";
    int status = std::system(cmd.c_str());
    ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile("tool-out.txt"),
              readFile("tool-err.txt")};
    std::remove("tool-out.txt");
    std::remove("tool-err.txt");
    return r;
}
