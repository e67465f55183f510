// Windows side of the tool. Checks run in this process, one at a time: a
// fatal error in one ends the run (the remaining files are not checked).
#include <cstdio>

#include "commands.h"

int runIsolated(int (*check)(const char*), const char* arg) {
    return check(arg);
}
