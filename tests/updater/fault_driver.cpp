// vorn-update with the system faults that Linux never shows, for the
// end-to-end tests: the run sequence's calls into the platform layer reach
// these wrappers through the linker's --wrap, and VORN_FAULT picks the fault:
//   old-windows  the system reports Windows 3.51
//   no-comctl    the common controls are unusable
//   no-dde       the DDE client registration fails
//   open-file    a file is opened during start-up and never closed
//   skip-crc     the payload's checksum is not checked, so a damaged payload
//                reaches the archive check and the unpacker
// and VORN_KILL_RENAME=N kills the process (SIGKILL) just before its N-th
// rename of a file, or with -N just after it, for the tests of killed runs.
// Everything else is the real installer, its entry point included.
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fileio/fileio.h"

namespace {

bool fault(const char* name) {
    const char* chosen = std::getenv("VORN_FAULT");
    return chosen != nullptr && std::strcmp(chosen, name) == 0;
}

// Open for the rest of the run: only the file layer's stack knows of it.
FileRec gLeftOpen;

int gRenames = 0;

}  // namespace

// The file layer's rename, the installer's payload check and the platform
// layer's own functions (platform::systemVersion() and so on) under their
// mangled names, and the wrappers that stand in for them.
extern "C" {
bool __real__ZN3sys6renameEPKcS1_(const char* from, const char* to);
void __real__Z12checkPayloadv();

bool __wrap__ZN3sys6renameEPKcS1_(const char* from, const char* to) {
    const char* at = std::getenv("VORN_KILL_RENAME");
    int n = at ? std::atoi(at) : 0;
    ++gRenames;
    if (n == gRenames) kill(getpid(), SIGKILL);
    bool done = __real__ZN3sys6renameEPKcS1_(from, to);
    if (-n == gRenames) kill(getpid(), SIGKILL);
    return done;
}

void __wrap__Z12checkPayloadv() {
    if (!fault("skip-crc")) __real__Z12checkPayloadv();
}

uint32_t __real__ZN8platform13systemVersionEv();
bool __real__ZN8platform20commonControlsUsableEv();
bool __real__ZN8platform17registerDdeClientERj(uint32_t& instance);

uint32_t __wrap__ZN8platform13systemVersionEv() {
    return fault("old-windows") ? 0x3303 : __real__ZN8platform13systemVersionEv();
}

bool __wrap__ZN8platform20commonControlsUsableEv() {
    return !fault("no-comctl") && __real__ZN8platform20commonControlsUsableEv();
}

// Registration comes after the open-file stack was cleared, so a file
// opened here is still on it at the end of the run.
bool __wrap__ZN8platform17registerDdeClientERj(uint32_t& instance) {
    if (fault("no-dde")) return false;
    if (fault("open-file")) {
        FileInit(gLeftOpen, 1, "left-open.txt");
        FileCreate(gLeftOpen);
    }
    return __real__ZN8platform17registerDdeClientERj(instance);
}
}
