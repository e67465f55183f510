// Damaged and hostile containers: each must decode or end with exit code 2,
// never crash, trip a sanitizer or hang. Every file is read in a child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "lzx/lzx.h"
#include "stream_support.h"
#include "support/tempdir.h"

namespace {

// Reads the whole stream, then seeks around in it.
void readEverything(const char* name, unsigned seed) {
    HILE* h = Hopen(name, "rb");
    char buf[5000];
    while (Hread(buf, sizeof buf, h) > 0) {
    }
    int32_t length = h->header.length;
    std::mt19937 rng(seed);
    for (int i = 0; i < 4 && length > 0; ++i) {
        Hseek(h, static_cast<int32_t>(rng() % static_cast<uint32_t>(length)));
        Hgetc(h);
        Hread(buf, sizeof buf, h);
    }
    Hclose(h);
}

// Exit status of reading `name` in a child: the exit code, or -signal.
int readInChild(const char* name, unsigned seed) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        alarm(20);  // a hang ends as SIGALRM
        readEverything(name, seed);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string damage(const std::string& good, std::mt19937& rng) {
    std::string f = good;
    switch (rng() % 4) {
        case 0:  // bit flips anywhere after the magic
            for (unsigned n = rng() % 6 + 1; n > 0; --n) {
                f[4 + rng() % (f.size() - 4)] ^= static_cast<char>(1 << (rng() % 8));
            }
            break;
        case 1:  // cut off
            f.resize(rng() % f.size());
            break;
        case 2:  // random bytes after a valid header
            for (size_t i = 16; i < f.size(); ++i) f[i] = static_cast<char>(rng());
            break;
        default:  // one header or block field set to an odd value
        {
            static const int32_t kValues[] = {0, 1, -1, 16, 0x7FFFFFFF, 16384, 262144, 262145};
            size_t at = 4 * (1 + rng() % 5);
            if (at >= f.size()) at = 4;
            setLe32(f, at,
                    static_cast<int32_t>(static_cast<uint32_t>(kValues[rng() % 8]) + rng() % 3));
            break;
        }
    }
    return f;
}

TEST(StreamDamageTest, DamagedFilesDecodeOrFailCleanly) {
    ScratchDir dir;
    FileStackClear();
    std::string goods[4];
    const char* modes[] = {"wb", "wbh", "wbs", "wb"};
    for (int m = 0; m < 4; ++m) {
        std::string data = m == 3 ? sample(Sample::Random, 20000, 11)
                                  : sample(m == 2 ? Sample::Rows : Sample::Text, 40000, 10 + m);
        writeStream("good.lzx", modes[m], data);
        goods[m] = readFile("good.lzx");
    }
    std::mt19937 rng(20240601);
    int ok = 0, refused = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string f = damage(goods[i % 4], rng);
        writeFile("bad.lzx", f);
        int status = readInChild("bad.lzx", static_cast<unsigned>(i));
        ASSERT_TRUE(status == 0 || status == 2)
            << "case " << i << " mode " << modes[i % 4] << " ended with " << status;
        (status == 0 ? ok : refused)++;
    }
    // Most damage must be noticed; some (a flipped padding bit) is harmless.
    EXPECT_GT(refused, 1000);
    EXPECT_GT(ok, 0);
}

}  // namespace
