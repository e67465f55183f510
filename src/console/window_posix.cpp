// Without a window system the console has no window: the buffer and log file
// work as usual and lines are measured against a virtual client area.
#include <unistd.h>

#include "console/state.h"

int ConLineFits(const char*, int n) {
    return n * kConVirtualCharWidth <= kConVirtualWidth ? 1 : 0;
}

namespace conwin {

int create() {
    return kConCreated;
}
bool startTimer() {
    return true;
}
void destroy() {}
void show(bool) {}
void paint() {}

void beep() {
    // Only a terminal can sound it; elsewhere the bell would be stray output.
    if (isatty(STDERR_FILENO)) (void)!write(STDERR_FILENO, "\a", 1);
}

void localTime(std::tm& out) {
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &out);
}

}  // namespace conwin
