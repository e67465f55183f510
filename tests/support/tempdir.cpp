#include "support/tempdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

ScratchDir::ScratchDir() {
    char buf[4096];
    previous_ = getcwd(buf, sizeof buf) ? buf : ".";
    std::string base = std::filesystem::temp_directory_path().string() + "/vorn-test-XXXXXX";
    std::vector<char> templ(base.begin(), base.end());
    templ.push_back(0);
    if (!mkdtemp(templ.data())) std::abort();
    path_ = templ.data();
    if (chdir(path_.c_str()) != 0) std::abort();
}

ScratchDir::~ScratchDir() {
    if (chdir(previous_.c_str()) != 0) return;
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
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
