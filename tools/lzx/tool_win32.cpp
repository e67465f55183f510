// Windows side of the tool.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "commands.h"

void useBinaryStdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}
