// libFuzzer target for the read path of the LZX1 stream. Library failures
// end the process, so each input is decoded in a child. A pass is a clean
// end or the library's fatal report (libFuzzer turns the exit itself into
// its own exit code, so the report text is what counts); anything else, a
// signal or a sanitizer report, is passed on as a crash. Not built by
// default; build it with clang and -fsanitize=fuzzer,address,undefined
// together with the sources of src/lzx, src/fileio, src/console and the
// error module of src/updater.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lzx/lzx.h"

namespace {

void decode(const char* name) {
    HILE* h = Hopen(name, "rb");
    char buf[4096];
    while (Hread(buf, sizeof buf, h) > 0) {
    }
    int32_t length = h->header.length;
    if (length > 0) {
        Hseek(h, length - 1);
        Hgetc(h);
        Hseek(h, length / 2);
        Hgetc(h);
    }
    Hclose(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char name[64], errName[64];
    std::snprintf(name, sizeof name, "fuzz-%d.lzx", static_cast<int>(getpid()));
    std::snprintf(errName, sizeof errName, "fuzz-%d.err", static_cast<int>(getpid()));
    FILE* f = std::fopen(name, "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(errName, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        alarm(10);
        FileStackClear();
        decode(name);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::remove(name);
    char report[512] = {};
    if (FILE* e = std::fopen(errName, "rb")) {
        report[std::fread(report, 1, sizeof report - 1, e)] = 0;
        std::fclose(e);
    }
    std::remove(errName);
    bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bool refused = WIFEXITED(status) && std::strstr(report, "Einde programma") != nullptr;
    if (!clean && !refused) {
        std::fputs(report, stderr);
        std::abort();
    }
    return 0;
}
