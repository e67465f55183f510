// The POSIX registry store: keys "Software\<name>" of the current user with
// text values, kept in one readable text file (see registry_posix.cpp).
#pragma once

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace registry_store {

struct Store;

// A run of the store's text lines under one "[key]" line (or before the
// first one). Lines are kept exactly as read, line end aside.
struct Section {
    std::string header;  // the "[key]" line as read; empty for the preamble
    std::vector<std::string> body;
    int key = -1;  // index into Store::keys; -1 for the preamble and damaged headers
};

struct Key {
    struct Value {
        std::string name;
        std::string text;
        size_t section;  // where its line is, so a change rewrites that line only
        size_t line;
    };

    std::string path;
    // Values by name folded to upper case; the last line of a name wins.
    std::unordered_map<std::string, Value> values;

    const std::string* get(const std::string& name) const;
    // Rewrites the value's own line, or adds one at the end of the key.
    void set(const std::string& name, const std::string& value);

  private:
    friend struct Store;
    friend bool parse(const std::string& text, Store& store);
    Store* owner_ = nullptr;
    size_t lastSection_ = 0;
};

struct Store {
    std::vector<Section> sections;  // sections[0] is the preamble
    std::deque<Key> keys;           // a deque keeps Key pointers valid as keys are added
    bool finalNewline = true;

    Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    Key* find(const std::string& path);
    Key& obtain(const std::string& path);

  private:
    friend bool parse(const std::string& text, Store& store);
    Key& addKey(const std::string& path, size_t section);
    std::unordered_map<std::string, size_t> index_;  // folded path -> keys index
};

// The store's file: $VELMORA_REGISTRY, else <configDirectory>/registry.
std::string storePath();
// The user's configuration directory for Velmora software.
std::string configDirectory();
// Creates every missing directory of `dir` (mode 0700).
bool makeDirectories(const std::string& dir);

// Text form of the store. Every line that is not a value the store changed
// comes out byte for byte as it went in. parse returns false when it met
// lines it could not read (they are kept, but belong to no value).
bool parse(const std::string& text, Store& store);
std::string format(const Store& store);

}  // namespace registry_store
