// Entry point on Windows: a GUI program without a window of its own.
#include <windows.h>

#include "updater/run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    return runInstaller(reinterpret_cast<uintptr_t>(instance), arguments);
}
