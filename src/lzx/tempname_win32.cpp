// Index-file names on Windows: the process id and a random value, made with
// CREATE_NEW so two writers (threads or processes) never share one.
#define _CRT_RAND_S
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "lzx/tempname.h"

bool TempNameCreate(char* name, int size) {
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned int random = 0;
        if (rand_s(&random) != 0) random = GetTickCount();
        uint32_t mix = random ^ (static_cast<uint32_t>(GetCurrentProcessId()) * 2654435761u) ^
                       (counter.fetch_add(1) * 40503u);
        if (std::snprintf(name, static_cast<size_t>(size), "lx%08x.idx",
                          static_cast<unsigned>(mix)) >= size) {
            return false;
        }
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}
