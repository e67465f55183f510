// A console in a scratch directory, emptied after its log header.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "support/tempdir.h"

inline std::string lineText(int i) {
    const ConLine& line = ConLineAt(i);
    return std::string(line.text, line.length);
}

inline void typeText(const std::string& text) {
    for (unsigned char c : text) ConChar(c);
}

// Characters of the console's fixed-pitch font that fit in its window: 60
// in the POSIX console's virtual window, whatever the real window holds on
// Windows.
inline int windowChars() {
    const std::string row(kConLineChars + 1, 'e');
    int n = 0;
    while (n < kConLineChars && ConLineFits(row.c_str(), n + 1)) ++n;
    return n;
}

// The log file's text. It is written in text mode, so on Windows every line
// feed reaches the disk as carriage return + line feed; undone here.
inline std::string logText() {
    std::string text = readFile("CONW.LOG");
#ifdef _WIN32
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
    }
    text = plain;
#endif
    return text;
}

class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ConCreate(0), kConCreated);
        ConPrint("\f");
    }
    void TearDown() override { ConDestroy(); }

    ScratchDir dir;
};
