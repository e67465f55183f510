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

class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ConCreate(0), kConCreated);
        ConPrint("\f");
    }
    void TearDown() override { ConDestroy(); }

    ScratchDir dir;
};
