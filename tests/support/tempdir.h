// Test helpers: a scratch directory per test, made current while it lives,
// and small file utilities.
#pragma once

#include <string>
#include <vector>

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};

void writeFile(const std::string& name, const std::string& bytes);
std::string readFile(const std::string& name);
bool pathExists(const std::string& name);
// Deterministic pseudo-random bytes.
std::vector<unsigned char> randomBytes(size_t n, unsigned seed);
