// The POSIX registry store: keys "Software\<name>" of the current user with
// text values, kept in one readable text file (see registry_posix.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace registry_store {

struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;

    const std::string* get(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
};

struct Store {
    std::vector<Key> keys;

    Key* find(const std::string& path);
    Key& obtain(const std::string& path);
};

// The store's file: $VELMORA_REGISTRY, else <configDirectory>/registry.
std::string storePath();
// The user's configuration directory for Velmora software.
std::string configDirectory();
// Creates every missing directory of `dir` (mode 0700).
bool makeDirectories(const std::string& dir);

// Text form of the store. parse returns false when it dropped lines that it
// could not read (the rest is kept).
bool parse(const std::string& text, Store& store);
std::string format(const Store& store);

}  // namespace registry_store
