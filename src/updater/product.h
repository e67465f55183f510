// Product detection: the product's registry key, its directory and version,
// and the marker that a running product holds.
#pragma once

#include "updater/platform.h"

// Key paths "Software\<name>" are built in 40 bytes: names up to 30 characters.
constexpr int kKeyPathMax = 40;
constexpr int kKeyNameMax = 30;

// Marker names of the main product and the product family.
inline constexpr const char* kMarkerMain = "VornWare";
inline constexpr const char* kMarkerFamily = "Velmora";

// Opens (creating when missing) "Software\<name>" of the current user.
int openProductKey(const char* name, platform::RegKey& key);
// True for "/dir", "C:\dir" (or "C:/dir") and "\\server\share": a
// location that means the same from any current directory.
bool isAbsolutePath(const char* path);
// Reads "Location" into productDir and, outside the demo variants,
// "Version" into installedVersion. 1 when every attempted read succeeded
// and the location is an absolute path.
int readProductKey(const char* name);
// Sets "Version" under the product key. 1 when written.
int writeProductVersion(const char* name, const char* version);
// Fills productDir for the configured variant. 1 when set.
int findProductDirectory();
// 1 when the named marker is held by another process or cannot be created.
// From the first call on this process holds the marker itself.
int isProductActive(const char* marker);

// Puts the first character of `windowsDir` (its drive letter) in place of
// the first character of `dir`.
void applyWindowsDrive(char* dir, const char* windowsDir);
