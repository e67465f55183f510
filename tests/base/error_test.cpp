#include "base/error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "fileio/fileio.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

TEST(FatalErrorDeathTest, DefaultReportGoesToStderrAndExitsWithTwo) {
    EXPECT_EXIT(fatalError("\nFile Error : %s", "x"), ExitedWithCode(2),
                testing::StartsWith("\nFile Error : x\n"));
}

int failingReporter(const char*) {
    return 0;
}
int boxReporter(const char* message) {
    std::fprintf(stderr, "[box] %s|\n", message);
    return 1;
}

TEST(FatalErrorDeathTest, PluggedReporterGetsTheWholeMessage) {
    EXPECT_EXIT(
        {
            setFatalReporter(boxReporter);
            fatalError("Hopen: %s", "bad mode");
        },
        ExitedWithCode(2), HasSubstr("[box] Hopen: bad mode|"));
    // A report that could not be shown ends with 1, as a box that failed.
    EXPECT_EXIT(
        {
            setFatalReporter(failingReporter);
            fatalError("lost");
        },
        ExitedWithCode(1), "");
}

TEST(FatalError, ThrowScopeTurnsTheEndIntoAnExceptionOnItsThreadOnly) {
    EXPECT_FALSE(fatalThrows());
    {
        FatalThrowScope outer;
        { FatalThrowScope inner; }
        // Scopes nest: the inner one ending leaves the outer in force.
        try {
            fatalError("RleUnpack: %s", "input > output");
            ADD_FAILURE() << "fatalError returned";
        } catch (const FatalError& e) {
            EXPECT_STREQ(e.what(), "RleUnpack: input > output");
        }
        bool otherThrows = true;
        std::thread([&] { otherThrows = fatalThrows(); }).join();
        EXPECT_FALSE(otherThrows);
    }
    EXPECT_FALSE(fatalThrows());
}

TEST(FatalError, ThrownMessageIsCutLikeTheReport) {
    FatalThrowScope scope;
    try {
        internalError(kSrcLzx, 7, 3);
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "Internal error [3] in [LZX,7]");
    }
    try {
        fatalError("%s", std::string(300, 'y').c_str());
    } catch (const FatalError& e) {
        EXPECT_EQ(std::string(e.what()), std::string(199, 'y'));
    }
}

TEST(FatalErrorDeathTest, CutsLongMessagesAt199Characters) {
    std::string longText(250, 'x');
    // 199 x's followed directly by the report's line end: nothing beyond the cut.
    // Substrings, not "x{199}": GoogleTest's regular expressions on Windows
    // have no repeat counts.
    EXPECT_EXIT(fatalError("%s", longText.c_str()), ExitedWithCode(2),
                testing::HasSubstr(std::string(199, 'x') + "\n"));
    EXPECT_EXIT(fatalError("%s", longText.c_str()), ExitedWithCode(2),
                testing::Not(testing::HasSubstr(std::string(200, 'x'))));
}

TEST(FatalErrorDeathTest, InternalErrorForms) {
    EXPECT_EXIT(internalError(kSrcLzx, 1400, -1), ExitedWithCode(2),
                HasSubstr("Internal error\nFile: LZX\nLine: 1400"));
    EXPECT_EXIT(internalError(kSrcUpdater, 12, 0), ExitedWithCode(2),
                HasSubstr("Internal error [0] in [UPDATER,12]"));
}

void reportOpenFilesAtExit() {
    std::fprintf(stderr, "open files at exit: %d\n", FileStackCount());
}

TEST(FatalErrorDeathTest, ClosesOpenFilesBeforeExiting) {
    ScratchDir dir;
    EXPECT_EXIT(
        {
            std::atexit(reportOpenFilesAtExit);
            static FileRec f;
            FileInit(f, 1, "open.bin");
            FileCreate(f);
            fatalError("stop");
        },
        ExitedWithCode(2), HasSubstr("open files at exit: 0"));
}

TEST(TrackedMemory, SizesAreRoundedUpToEven) {
    // The block must be writable over its adjusted size (ASan checks this).
    char* zero = static_cast<char*>(allocTracked(0));
    std::memset(zero, 1, 2);
    char* odd = static_cast<char*>(allocTracked(431));
    std::memset(odd, 1, 432);
    EXPECT_EQ(trackedCount(), 2);
    freeTracked(zero);
    freeTracked(odd);
    EXPECT_EQ(trackedCount(), 0);
}

TEST(TrackedMemory, UnknownOrFreedAddressesAreIgnored) {
    int local = 0;
    void* p = allocTracked(16);
    freeTracked(&local);
    EXPECT_EQ(trackedCount(), 1);
    freeTracked(p);
    freeTracked(p);
    EXPECT_EQ(trackedCount(), 0);
}

TEST(TrackedMemoryDeathTest, NegativeSizeAndFullTable) {
    EXPECT_EXIT(allocTracked(-1), ExitedWithCode(2),
                HasSubstr("Internal error [123] in [UPDATER,1943]"));
    EXPECT_EXIT(
        {
            for (int i = 0; i <= kTrackedSlots; ++i) allocTracked(8);
        },
        ExitedWithCode(2), HasSubstr("Internal error [125] in [UPDATER,1979]"));
}

TEST(TrackedMemory, FreedSlotIsReusedSoTableNeverOverflows) {
    void* blocks[kTrackedSlots];
    for (auto& b : blocks) b = allocTracked(4);
    freeTracked(blocks[7]);
    blocks[7] = allocTracked(4);  // would be the 201st without reuse
    EXPECT_EQ(trackedCount(), kTrackedSlots);
    for (auto* b : blocks) freeTracked(b);
    EXPECT_EQ(trackedCount(), 0);
}
