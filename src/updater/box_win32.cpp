// Message boxes on Win32.
#include <windows.h>

#include "updater/platform.h"

namespace platform {
int messageBox(const char* text, const char* caption, BoxIcon icon) {
    UINT type = MB_OK | (icon == BoxIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
    int result = MessageBoxA(nullptr, text, caption, type);
    return result == 0 ? 0 : 1;
}

}  // namespace platform
