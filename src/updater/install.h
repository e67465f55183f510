// Writing the embedded payload and installing it into the product directory.
#pragma once

#include <cstdint>

#include "base/os.h"

inline constexpr const char* kVersionFileName = "lzx.ver";
inline constexpr const char* kInstalledVersion = "3.01";
constexpr int32_t kSpareRecords = 1000;

// Ends the run with a fatal error when the embedded payload does not match
// the checksum it was built with.
void checkPayload();
// Largest archive stream that the check keeps for the installation; a
// larger one is decoded a second time while it is installed.
constexpr int32_t kKeepDecodedMax = 64 << 20;
// Decodes the archive `source` to its end and walks its entries; damage is
// a fatal error. Nothing is written. Returns the decoded stream, for the
// installation to write its files from, unless it is longer than `keepMax`
// or its memory is refused (then empty).
platform::LargeBuffer checkArchive(const char* source, int32_t keepMax = kKeepDecodedMax);
// Finishes or undoes an installation that a killed run left in
// `productDir`, and removes leftovers of killed runs.
void recoverInstallation(const char* productDir);
// Fills `name` (260 bytes) with the temporary archive's name and writes the
// payload there.
void writePayload(char* name);
// Writes the given archive bytes to the temporary archive (for tests).
void writeArchive(char* name, const unsigned char* data, int32_t size);
// Unpacks the archive `source` into `target` under the control of the
// version file, then records the new version; returns 1. Returns 0 after
// the "%s not found" box when an update finds no product directory or no
// version file there: nothing is installed. Fatal errors end the process.
int installArchive(const char* source, const char* target);
// Deletes the temporary archive (and its private directory); a missing
// file is no error.
void deleteTemporary(const char* name);
