// Start-up and the run sequence of the installer.
#pragma once

#include <cstdint>

// Command line: the argument text is cut to this many characters and split
// into at most this many tokens; further tokens are ignored.
constexpr int kArgumentMax = 259;
constexpr int kTokenMax = 48;

// Sets logEnabled, dutch and spawned from the options "-log", "-dut",
// "-eng" and "-spawned" (letter case ignored; tokens split at spaces only).
void parseCommandLine(const char* arguments);
// 1 when the major version (low byte of `version`) is 4 or more; otherwise
// shows the refusal box and returns 0.
int checkWindowsVersion(uint32_t version);
int checkWindowsVersion();
// 1 when the common controls are usable.
int checkCommonControls();
// Sets `dutch` from the system default language.
void chooseLanguage(uint16_t languageId);
// Makes fatal errors show the installer's box, captioned "Einde programma".
void useInstallerReporter();
// The whole run; returns the exit code (0 normal end, 1 product active, 2
// when the update found no product to install into).
// Fatal errors end the process with exit code 2.
int runInstaller(uintptr_t instance, const char* arguments);
