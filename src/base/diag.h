// Diagnostic lines of the lower modules (file errors, skipped archive entries).
// They go to whatever sink is plugged in (the installer's console while it is
// open) and nowhere otherwise.
#pragma once

// Receives one formatted text, at most 8191 characters.
using DiagSink = void (*)(const char* text);
void setDiagSink(DiagSink sink);

void diagPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
