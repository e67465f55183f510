// POSIX side of the tool.
#include "commands.h"

void useBinaryStdio() {
    // Files are bytes already.
}
