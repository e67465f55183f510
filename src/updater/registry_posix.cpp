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
// Other programs share the file, so every line that is not one of the values
// we change goes back byte for byte: comments, value types we do not know,
// their spelling of backslashes, even lines we cannot read. Every change
// rewrites the whole store beside the real file (a link to the store is
// followed, not replaced) and renames it into place, under a lock, so a
// crash never leaves half a store behind.
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

#include "base/error.h"
#include "fileio/fileio.h"
#include "updater/join.h"
#include "updater/platform.h"
#include "updater/registry_store.h"

namespace registry_store {

namespace {

// Names compare without regard to ASCII case: folded, they index a hash map.
std::string fold(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
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
        char e = line[pos];
        int hi = e == 'x' && pos + 2 < line.size() ? hexDigit(line[pos + 1]) : -1;
        int lo = hi >= 0 ? hexDigit(line[pos + 2]) : -1;
        if (e == '\\' || e == '"') {
            out += e;
            ++pos;
        } else if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            pos += 3;
        } else {
            out += '\\';  // another writer's lone backslash means itself
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

Store::Store() {
    sections.emplace_back();  // the preamble
}

Key* Store::find(const std::string& path) {
    auto it = index_.find(fold(path));
    return it == index_.end() ? nullptr : &keys[it->second];
}

Key& Store::addKey(const std::string& path, size_t section) {
    index_.emplace(fold(path), keys.size());
    Key& k = keys.emplace_back();
    k.path = path;
    k.owner_ = this;
    k.lastSection_ = section;
    sections[section].key = static_cast<int>(keys.size() - 1);
    return k;
}

Key& Store::obtain(const std::string& path) {
    if (Key* k = find(path)) return *k;
    // A new key goes at the end, after a blank line; a new store first gets
    // a line that says what the file is.
    std::vector<std::string>& last = sections.back().body;
    if (sections.size() == 1 && last.empty()) {
        last.push_back("# Velmora registry store of the current user");
    }
    last.emplace_back();
    finalNewline = true;
    sections.push_back({joinText("[", escapeKey(path), "]"), {}, -1});
    return addKey(path, sections.size() - 1);
}

const std::string* Key::get(const std::string& name) const {
    auto it = values.find(fold(name));
    return it == values.end() ? nullptr : &it->second.text;
}

void Key::set(const std::string& name, const std::string& value) {
    std::string line = joinText("\"", escape(name), "\"=\"", escape(value), "\"");
    auto it = values.find(fold(name));
    if (it != values.end()) {
        owner_->sections[it->second.section].body[it->second.line] = line;
        it->second.text = value;
        return;
    }
    // Right after the key's last value (comments and blank lines after it
    // may belong to what follows).
    std::vector<std::string>& body = owner_->sections[lastSection_].body;
    size_t at = 0;
    for (const auto& v : values)
        if (v.second.section == lastSection_ && v.second.line + 1 > at) at = v.second.line + 1;
    body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), line);
    for (auto& v : values)
        if (v.second.section == lastSection_ && v.second.line >= at) ++v.second.line;
    values[fold(name)] = {name, value, lastSection_, at};
    if (at + 1 == body.size() && lastSection_ + 1 == owner_->sections.size()) {
        owner_->finalNewline = true;
    }
}

bool parse(const std::string& text, Store& store) {
    bool clean = true;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        bool last = end == std::string::npos;
        if (last) end = text.size();
        std::string raw = text.substr(begin, end - begin);
        begin = end + 1;
        store.finalNewline = !last;
        // The line as meant: without its CR and the blanks after a header.
        std::string line = raw;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            while (line.size() > 1 && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
            std::string path;
            store.sections.push_back({raw, {}, -1});
            size_t section = store.sections.size() - 1;
            if (line.back() == ']' && unescapeKey(line.substr(1, line.size() - 2), path)) {
                auto known = store.index_.find(fold(path));
                if (known != store.index_.end()) {
                    // The same key again: its values count, the later ones win.
                    store.keys[known->second].lastSection_ = section;
                    store.sections[section].key = static_cast<int>(known->second);
                } else {
                    store.addKey(path, section);
                }
            } else {
                clean = false;  // kept, but what follows belongs to no key
            }
            continue;
        }
        Section& current = store.sections.back();
        size_t pos = 1;
        std::string name, value;
        if (current.key >= 0 && !line.empty() && line[0] == '"' && unescape(line, pos, '"', name) &&
            pos + 1 < line.size() && line[pos] == '=' && line[pos + 1] == '"' &&
            (pos += 2, unescape(line, pos, '"', value)) && pos == line.size()) {
            Key& k = store.keys[static_cast<size_t>(current.key)];
            k.values[fold(name)] = {name, value, store.sections.size() - 1, current.body.size()};
        } else if (!line.empty() && line[0] != '#' && line[0] != ';') {
            clean = false;  // kept as it stands
        }
        current.body.push_back(raw);
    }
    return clean;
}

std::string format(const Store& store) {
    std::string out;
    bool first = true;
    auto add = [&](const std::string& line) {
        if (!first) out += '\n';
        out += line;
        first = false;
    };
    for (size_t i = 0; i < store.sections.size(); ++i) {
        const Section& s = store.sections[i];
        if (i > 0) add(s.header);
        for (const std::string& line : s.body) add(line);
    }
    if (!first && store.finalNewline) out += '\n';
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

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a store path finally names: a user may keep the store elsewhere
// and link to it, and a rename over the link would cut that tie.
std::string resolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, 0);
        ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : parentOf(path) + "/" + target;
    }
    return path;
}

// Writes the store beside its real file and renames it into place; the file
// layer's failures come back as false instead of ending the process, so the
// caller decides how grave a failed write is.
bool save(const std::string& path, const Store& store) {
    std::string text = format(store);
    FileRec f;
    FileInit(f, 1, nullptr);
    FatalThrowScope survive;
    try {
        FileRemoveStale(parentOf(path).c_str());
        FileCreateBeside(f, 1, path.c_str());
        FileWrite(f, static_cast<int32_t>(text.size()), text.data());
        FileSync(f);
        FileCommit(f, path.c_str());
    } catch (const FatalError&) {
        FileDiscard(f);
        return false;
    }
    return true;
}

// Runs `change` on the loaded store and saves it when it reports a change.
template <typename F>
bool update(F change) {
    std::string path = resolveLinks(storePath());
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
    std::string file = registry_store::resolveLinks(registry_store::storePath());
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
