// The installer's window onto the operating system. Every OS call of the
// updater module goes through these functions, implemented once for POSIX
// (box_posix.cpp, platform_posix.cpp, registry_posix.cpp) and once for Win32
// (box_win32.cpp, platform_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "base/os.h"

namespace platform {

enum class BoxIcon { Information, Error };

// Shows a message box with one OK button and no owner. Returns the box
// result: 1 (OK) when shown, 0 when it could not be shown. On Linux the
// caption and text go to stderr.
int messageBox(const char* text, const char* caption, BoxIcon icon);

// System version: major version in the low byte, minor in the next byte.
uint32_t systemVersion();
// System default language id; the primary language is its low 10 bits.
// POSIX takes it from the locale environment (LC_ALL, LC_MESSAGES, LANG).
uint16_t defaultLanguageId();
// Loads the common controls, checks that their version export (when
// present) answers, and initialises them. False when they are unusable.
bool commonControlsUsable();
// Registers the process as a client-only DDE client that answers every
// transaction with 0. False when the registration fails.
bool registerDdeClient(uint32_t& instance);

// Product-active marker: creates a named object that the process holds
// until it ends. Returns false when the system refuses to create it;
// `existed` tells whether another process held the name already.
bool createMarker(const char* name, bool& existed);

// Current user's registry. A key is opened with full access and created
// when missing; `className` is the class string given to a new key.
using RegKey = uintptr_t;
bool regOpenUserKey(const char* path, const char* className, RegKey& key);
// Reads a value as text into `buffer` (NUL included); fails when the value
// is missing or does not fit in `size` bytes. The value type is not examined.
bool regReadString(RegKey key, const char* name, char* buffer, uint32_t size);
// Sets a text value (REG_SZ), its terminating NUL included.
bool regWriteString(RegKey key, const char* name, const char* value);
void regCloseKey(RegKey key);

// The system's temporary directory with a trailing separator, under which
// the installer makes a private directory of its own; an empty text when
// there is none. `buffer` is written as a C string.
void tempDirectory(char* buffer, uint32_t size);
// Replaces file `to` by file `from` in one step (names in backslash form).
bool replaceFile(const char* from, const char* to);
// Default directory of the product family's demo installation.
void defaultDemoDirectory(char* buffer, uint32_t size);

}  // namespace platform
