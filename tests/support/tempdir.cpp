#include "support/tempdir.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

// std::filesystem only, so the same helpers serve the Windows build under Wine.
ScratchDir::ScratchDir() {
    std::error_code ec;
    previous_ = fs::current_path(ec).string();
    std::mt19937 rng(static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ std::random_device{}()));
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100) std::abort();
        fs::path candidate = base / ("vorn-test-" + std::to_string(rng() % 1000000000u));
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            break;
        }
    }
    fs::current_path(path_, ec);
    if (ec) std::abort();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    if (ec) return;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary);
    out << bytes;
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool pathExists(const std::string& name) {
    struct stat st;
    return stat(name.c_str(), &st) == 0;
}

std::vector<unsigned char> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}
