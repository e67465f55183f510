// Whether the tool's stderr is a console, on Windows.
#include <windows.h>

#include "commands.h"

bool stderrIsTerminal() {
    return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR;
}
