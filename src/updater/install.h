// Writing the embedded payload and installing it into the product directory.
#pragma once

#include <cstdint>

inline constexpr const char* kVersionFileName = "lzx.ver";
inline constexpr const char* kInstalledVersion = "3.01";
constexpr int32_t kSpareRecords = 1000;

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
// Deletes the temporary archive; a missing file is no error.
void deleteTemporary(const char* name);
