// The current user's registry on POSIX: a small text store of our own.
//
// The store lives in $VELMORA_REGISTRY, else in
// $XDG_CONFIG_HOME/velmora/registry (or ~/.config/velmora/registry). It reads
// like a .reg file:
//
//   [Software\Vorn]
//   "Location"="/home/anna/Vorn"
//   "Version"="3.01"
//
// Keys and value names compare without regard to case, as the Windows
// registry does. Values are byte strings: backslash, quote and control bytes
// are escaped, other bytes (the ANSI code page) are stored as they are.
// Every change rewrites the whole store through a temporary file and a
// rename, under a lock, so a crash never leaves half a store behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "updater/join.h"
#include "updater/platform.h"
#include "updater/registry_store.h"

namespace registry_store {

namespace {

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Key paths keep their backslashes readable; only '%', ']' and control
// bytes are written as %HH.
std::string escapeKey(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c == ']' || c < 0x20 || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool unescapeKey(const std::string& text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        int lo = hi >= 0 ? hexDigit(text[i + 2]) : -1;
        if (lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Reads an escaped text from `line` at `pos` up to the unescaped `end`
// character; pos is left after it. False on a malformed text.
bool unescape(const std::string& line, size_t& pos, char end, std::string& out) {
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == end) return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) return false;
        char e = line[pos++];
        if (e == 'x') {
            if (pos + 2 > line.size()) return false;
            int hi = hexDigit(line[pos]), lo = hexDigit(line[pos + 1]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            pos += 2;
        } else {
            out += e;
        }
    }
    return false;
}

}  // namespace

std::string storePath() {
    const char* explicitPath = std::getenv("VELMORA_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    return configDirectory() + "/registry";
}

std::string configDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/velmora";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/velmora";
}

bool makeDirectories(const std::string& dir) {
    // Every prefix that ends before a slash, then the whole path.
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != '/') continue;
        if (dir[i - 1] == '/') continue;
        if (mkdir(dir.substr(0, i).c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

Key* Store::find(const std::string& path) {
    for (Key& k : keys)
        if (equalNoCase(k.path, path)) return &k;
    return nullptr;
}

Key& Store::obtain(const std::string& path) {
    if (Key* k = find(path)) return *k;
    keys.push_back({path, {}});
    return keys.back();
}

const std::string* Key::get(const std::string& name) const {
    for (const auto& v : values)
        if (equalNoCase(v.first, name)) return &v.second;
    return nullptr;
}

void Key::set(const std::string& name, const std::string& value) {
    for (auto& v : values) {
        if (equalNoCase(v.first, name)) {
            v.second = value;
            return;
        }
    }
    values.emplace_back(name, value);
}

bool parse(const std::string& text, Store& store) {
    std::istringstream in(text);
    std::string line;
    Key* current = nullptr;
    bool clean = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        size_t pos = 1;
        std::string first, second;
        if (line[0] == '[' && line.back() == ']' &&
            unescapeKey(line.substr(1, line.size() - 2), first)) {
            current = &store.obtain(first);
        } else if (line[0] == '"' && current && unescape(line, pos, '"', first) &&
                   pos + 1 < line.size() && line[pos] == '=' && line[pos + 1] == '"' &&
                   (pos += 2, unescape(line, pos, '"', second)) && pos == line.size()) {
            current->set(first, second);
        } else {
            clean = false;  // a line we do not understand is dropped
        }
    }
    return clean;
}

std::string format(const Store& store) {
    std::string out = "# Velmora registry store of the current user\n";
    for (const Key& k : store.keys) {
        out += joinText("\n[", escapeKey(k.path), "]\n");
        for (const auto& v : k.values)
            out += joinText("\"", escape(v.first), "\"=\"", escape(v.second), "\"\n");
    }
    return out;
}

namespace {

// Holds the store's lock file for the lifetime of one operation.
class StoreLock {
  public:
    explicit StoreLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

bool load(const std::string& path, Store& store) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return errno == ENOENT;  // no store yet: empty
    std::ostringstream text;
    text << in.rdbuf();
    parse(text.str(), store);
    return true;
}

bool save(const std::string& path, const Store& store) {
    std::string temp = path + ".new." + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << format(store);
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Runs `change` on the loaded store and saves it when it reports a change.
template <typename F>
bool update(F change) {
    std::string path = storePath();
    if (!makeDirectories(parentOf(path))) return false;
    StoreLock lock(path);
    Store store;
    if (!lock.held() || !load(path, store)) return false;
    bool changed = false;
    if (!change(store, changed)) return false;
    return !changed || save(path, store);
}

}  // namespace
}  // namespace registry_store

namespace platform {

using registry_store::Store;

bool regOpenUserKey(const char* path, const char*, RegKey& key) {
    std::string name = path;
    bool ok = registry_store::update([&](Store& store, bool& changed) {
        if (registry_store::Key* k = store.find(name)) {
            name = k->path;  // keep the spelling the key was created with
        } else {
            store.obtain(name);
            changed = true;
        }
        return true;
    });
    if (!ok) return false;
    key = reinterpret_cast<RegKey>(new std::string(name));
    return true;
}

bool regReadString(RegKey key, const char* name, char* buffer, uint32_t size) {
    const std::string& path = *reinterpret_cast<std::string*>(key);
    Store store;
    std::string file = registry_store::storePath();
    {
        registry_store::StoreLock lock(file);
        if (!registry_store::load(file, store)) return false;
    }
    const registry_store::Key* k = store.find(path);
    const std::string* value = k ? k->get(name) : nullptr;
    if (value == nullptr || value->size() + 1 > size) return false;
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    return true;
}

bool regWriteString(RegKey key, const char* name, const char* value) {
    const std::string& path = *reinterpret_cast<std::string*>(key);
    return registry_store::update([&](Store& store, bool& changed) {
        store.obtain(path).set(name, value);
        changed = true;
        return true;
    });
}

void regCloseKey(RegKey key) {
    delete reinterpret_cast<std::string*>(key);
}

}  // namespace platform
