// Whether the tool's stderr is a terminal, on POSIX.
#ifndef _WIN32
#include <unistd.h>

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
#endif
