// Index-file names on POSIX: the process id and a random value, made with
// exclusive creation so two writers (threads or processes) never share one.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "lzx/tempname.h"

namespace {

uint32_t randomWord() {
    uint32_t value = 0;
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::read(fd, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) value = 0;
        ::close(fd);
    }
    return value;
}

}  // namespace

bool TempNameCreate(char* name, int size) {
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint32_t mix = randomWord() ^ (static_cast<uint32_t>(getpid()) * 2654435761u) ^
                       (counter.fetch_add(1) * 40503u);
        if (std::snprintf(name, static_cast<size_t>(size), "lx%08x.idx", mix) >= size) return false;
        int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}
