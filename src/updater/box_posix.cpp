// Message boxes on POSIX: written to stderr, they count as OK.
#include <cstdio>

#include "updater/platform.h"

namespace platform {
int messageBox(const char* text, const char* caption, BoxIcon icon) {
    const char* kind = icon == BoxIcon::Error ? "error" : "information";
    if (std::fprintf(stderr, "[%s] %s\n%s\n", kind, caption, text) < 0) return 0;
    std::fflush(stderr);
    return 1;
}

}  // namespace platform
