// Diagnostic console: a 100-line text buffer fed by ConPrint, mirrored to
// the log file "CONW.LOG" (current directory). Without a console ConPrint
// does nothing, so any module may print at any time. Diagnostic texts begin
// with a line feed.
//
// Without a window system (Linux) the console has no window at all, and
// ConLineFits measures against a virtual client area kConVirtualWidth pixels
// wide in a fixed font kConVirtualCharWidth pixels per character: 60
// characters fit on a line.
#pragma once

#include <cstdint>

inline constexpr int kConLineCount = 100;
inline constexpr int kConLineChars = 120;
inline constexpr int kConTypedChars = 255;
inline constexpr int kConVirtualWidth = 480;
inline constexpr int kConVirtualCharWidth = 8;

// Results of ConCreate.
inline constexpr int kConCreated = 0;
inline constexpr int kConNoClass = 491;
inline constexpr int kConNoWindow = 507;
inline constexpr int kConNoTimer = 525;

struct ConLine {
    char text[kConLineChars];  // not NUL-terminated
    int32_t length;            // 0 to 120
};

// Creates the (hidden) console, empties the buffer and opens the log file
// with its header line. The argument is ignored. Returns one of the results
// above; after kConNoClass or kConNoWindow the console stays silent.
int ConCreate(int unused);
// Closes the log file with its footer line and removes the window; ConPrint
// is silent from then on.
void ConDestroy();

// Formats like printf (at most 8191 characters per call; longer texts are
// cut there) and prints the text to the console buffer and log file when a
// console exists.
void ConPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Interprets one character (low 8 bits) into the buffer: bell, back-space,
// tab, line feed, form feed and carriage return act like a terminal's; other
// control characters show in caret notation (^A).
void ConPutChar(int ch);
// 1 when the first n characters of text fit the console's client width.
int ConLineFits(const char* text, int n);

// Menu commands.
void ConLogToggle();
void ConHelp();
void ConCharSet();
void ConShowToggle();
bool ConLogging();

// Keyboard input, as the window's key-down and character messages deliver
// it: virtual-key codes without a character are echoed as "[%02X]"; typed
// characters are echoed, and Enter after "help" shows the help text.
void ConKeyDown(unsigned key);
void ConChar(unsigned ch);

// Read access to the buffer: lines 0 to ConCurrentLine() hold the text.
const ConLine& ConLineAt(int index);
int ConCurrentLine();
