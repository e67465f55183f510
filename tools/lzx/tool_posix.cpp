// POSIX side of the tool: checks in a child process.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "commands.h"

int runIsolated(int (*check)(const char*), const char* arg) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return check(arg);  // no child: check in place
    if (pid == 0) {
        int code = check(arg);
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
