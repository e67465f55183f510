// A stand-in for the Vorn product itself, for trying the installer out:
//
//   vorn-demo-product install DIR [VERSION]  installs a small Vorn 3.0 in DIR:
//       files, the version file "lzx.ver" of an earlier update, and the
//       registry values "Location" and "Version" under "Software\Vorn"
//   vorn-demo-product run                    runs as Vorn: holds the marker
//       "VornWare" until its input ends
//   vorn-demo-product list DIR               lists DIR's version file
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "lzx/lzx.h"
#include "updater/join.h"
#include "updater/product.h"

namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

LzxEntry record(const char* name, int32_t size, int32_t version) {
    LzxEntry e{};
    std::snprintf(e.name, sizeof e.name, "%s", name);
    e.size = size;
    e.version = version;
    return e;
}

int install(const fs::path& dir, const std::string& version) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "vorn-demo-product: cannot create %s: %s\n", dir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    // What the 3.0 installation and its first update left behind.
    const std::string exe = "MZ Vorn 3.0 (demo stand-in)\n";
    const std::string ini = "[Vorn]\r\nVersie=3.0\r\nTaal=nl\r\n";
    const std::string rules = "Vorn 3.0: spelregels\r\n";
    const std::string back = "BM achterkant 3.02 (demo stand-in)\n";
    writeText(dir / "Vorn.exe", exe);
    writeText(dir / "vorn.ini", ini);
    writeText(dir / "Help" / "regels_nl.txt", rules);
    writeText(dir / "Kaarten" / "achterkant1.bmp", back);
    writeText(dir / "Data" / "oud.dat", "oude gegevens\n");
    std::vector<LzxEntry> list = {
        record("#Vorn.exe", static_cast<int32_t>(exe.size()), 300),
        record("#Help\\regels_nl.txt", static_cast<int32_t>(rules.size()), 301),
        // A newer card back than the update carries: the update must keep it.
        record("#Kaarten\\achterkant1.bmp", static_cast<int32_t>(back.size()), 302),
        record("#Data\\oud.dat", 14, 200),
    };
    std::ofstream ver(dir / "lzx.ver", std::ios::binary | std::ios::trunc);
    ver.write(reinterpret_cast<const char*>(list.data()),
              static_cast<std::streamsize>(list.size() * sizeof(LzxEntry)));
    if (!ver) {
        std::fprintf(stderr, "vorn-demo-product: cannot write the version file\n");
        return 1;
    }
    platform::RegKey key;
    if (!openProductKey("Vorn", key)) {
        std::fprintf(stderr, "vorn-demo-product: cannot open the registry key\n");
        return 1;
    }
    std::string location = fs::absolute(dir).lexically_normal().string();
    if (location.size() > 1 && location.back() == '/') location.pop_back();
    bool ok = platform::regWriteString(key, "Location", location.c_str()) &&
              platform::regWriteString(key, "Version", version.c_str());
    platform::regCloseKey(key);
    if (!ok) {
        std::fprintf(stderr, "vorn-demo-product: cannot write the registry values\n");
        return 1;
    }
    std::printf("Vorn %s installed in %s\n", version.c_str(), location.c_str());
    return 0;
}

int run() {
    if (isProductActive(kMarkerMain)) {
        std::fprintf(stderr, "vorn-demo-product: Vorn is running already\n");
        return 1;
    }
    std::printf("Vorn is running (marker %s); end input to stop.\n", kMarkerMain);
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

int list(const fs::path& dir) {
    std::ifstream in(dir / "lzx.ver", std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vorn-demo-product: no version file in %s\n", dir.c_str());
        return 1;
    }
    std::printf("%-32s %9s %7s %6s  options\n", "name", "size", "version", "status");
    LzxEntry e;
    while (in.read(reinterpret_cast<char*>(&e), sizeof e)) {
        e.name[sizeof e.name - 1] = 0;
        std::string options;
        if (e.languages) options += joinText(" L=", std::to_string(e.languages));
        if (e.productVersions) options += joinText(" J=", std::to_string(e.productVersions));
        if (e.scramble) options += joinText(" E=", std::to_string(e.scramble));
        if (e.deleteAfter) options += joinText(" D=", std::to_string(e.deleteAfter));
        if (e.existingOnly) options += joinText(" R=", std::to_string(e.existingOnly));
        std::printf("%-32s %9d %7d %6d %s\n", e.name, e.size, e.version, e.status, options.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "install" && (argc == 3 || argc == 4))
        return install(argv[2], argc == 4 ? argv[3] : "3.0");
    if (command == "run" && argc == 2) return run();
    if (command == "list" && argc == 3) return list(argv[2]);
    std::fprintf(stderr,
                 "usage: vorn-demo-product install DIR [VERSION]\n"
                 "       vorn-demo-product run\n"
                 "       vorn-demo-product list DIR\n");
    return 2;
}
