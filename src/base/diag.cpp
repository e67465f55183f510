#include "base/diag.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<DiagSink> gSink{nullptr};

}  // namespace

void setDiagSink(DiagSink sink) {
    gSink.store(sink);
}

void diagPrint(const char* format, ...) {
    DiagSink sink = gSink.load();
    if (sink == nullptr) return;
    char text[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink(text);
}
