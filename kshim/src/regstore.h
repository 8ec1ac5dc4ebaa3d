// The registry store shared by the Zw key calls, the harness functions and the text form.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kshim::reg {

constexpr size_t kMaxPathBytes = 2048;
constexpr size_t kMaxComponentBytes = 255;
constexpr size_t kMaxValueNameBytes = 1024;
constexpr size_t kMaxValueBytes = 1u << 20;

struct Value {
    std::string name;  // as first written
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Key {
    std::string path;  // as first written
    std::vector<Value> values;  // in creation order
};

struct Store {
    std::mutex lock;
    std::map<std::string, Key> keys;  // by folded path
    std::string devicePath = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\Net\\0000";
};

Store& TheStore();

// Resolves "@device" and checks the syntax of an absolute key path: "\Registry" then components,
// none empty, none longer than 255 bytes, no control characters. False (with a reason) otherwise.
bool ResolvePathLocked(Store& store, const std::string& in, std::string* out, std::string* why);
// A value name: no control characters, at most kMaxValueNameBytes.
bool ValidValueName(const std::string& name);

Key* FindKeyLocked(Store& store, const std::string& path);
// Creates the key and every key above it; returns it.
Key& CreateKeyLocked(Store& store, const std::string& path);
bool ParentExistsLocked(Store& store, const std::string& path);
Value* FindValue(Key& key, const std::string& name);
void SetValue(Key& key, const std::string& name, uint32_t type, const uint8_t* data, size_t size);
bool DeleteValue(Key& key, const std::string& name);
void ClearLocked(Store& store);

}  // namespace kshim::reg
