// State shared by the console's portable code and its window layer
// (window_posix.cpp, window_win32.cpp).
#pragma once

#include <cstdio>
#include <ctime>

#include "console/console.h"

struct ConState {
    bool haveWindow = false;
    bool active = false;
    bool visible = false;
    bool logging = true;
    std::FILE* log = nullptr;
    char logStart[80] = {};
    int echo = 0;  // raised while keyboard input is echoed; lines then wrap
    bool typed = false;
    char typedLine[kConTypedChars + 1] = {};
    int typedLength = 0;
};

extern ConState conState;

struct ConBuffer {
    ConLine lines[kConLineCount];
    int32_t current;
};

extern ConBuffer conBuffer;

// The operating-system side of the console.
namespace conwin {

// Registers the class, creates the hidden window and applies the first font;
// returns kConCreated, kConNoClass or kConNoWindow.
int create();
bool startTimer();
// Removes the font, timer, window and class.
void destroy();
void show(bool visible);
void paint();
void beep();
void localTime(std::tm& out);

}  // namespace conwin
