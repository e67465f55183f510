// The lzx tool's commands. Each takes the arguments after its own name and
// returns the exit code; a library failure (lzx::Error) ends the command with
// its message on stderr and code 2.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;  // also what the library's fatal errors give
constexpr int kExitUsage = 64;

// One row of the tool's command table. A command answers --help itself.
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;  // one line for the tool's help
};

// Stream commands (stream_commands.cpp).
int cmdCompress(int argc, char** argv);
int cmdDecompress(int argc, char** argv);
int cmdTest(int argc, char** argv);
int cmdInfo(int argc, char** argv);

// Archive commands (archive_commands.cpp).
int lzxPackCommand(int argc, char** argv);
int lzxListCommand(int argc, char** argv);
int lzxUnpackCommand(int argc, char** argv);

// "-T N" or "-TN" at argv[i] (i moves past N): 1 and the count in `threads`
// (1 to 256), 0 when argv[i] is something else, -1 for a bad count.
int parseThreadsOption(int argc, char** argv, int& i, int& threads);

// Platform helpers (tool_*.cpp, terminal_*.cpp).
bool stderrIsTerminal();
// Puts stdin and stdout in binary mode (Windows translates line ends otherwise).
void useBinaryStdio();
