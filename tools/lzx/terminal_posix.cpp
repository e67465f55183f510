// Whether the tool's stderr is a terminal, on POSIX.
#include <unistd.h>

#include "commands.h"

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
