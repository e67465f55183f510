// Whether the tool's stderr is a console, on Windows.
#ifdef _WIN32
#include <windows.h>

bool stderrIsTerminal() {
    return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR;
}
#endif
