// The harness's side of the registry: the in-memory store behind ZwOpenKey and friends, loaded
// from a small text form, read and changed by tests, and dumped after a run.
//
// Text form (one item per line; blanks and lines starting with ';' are ignored):
//   [\Registry\Machine\SYSTEM\CurrentControlSet\Services\qzlwlan\Parameters]
//   EnableSystemEventLog=dword:0x1        ; dword:<decimal or 0x hex>, at most 32 bits
//   ImagePath=sz:"\SystemRoot\System32\drivers\qzlwlan.sys"   ; in quotes \" is a quote, \\ a
//                                          ; backslash; other backslashes stand for themselves
//   Blob=hex:01,02,ff                      ; REG_BINARY, also "hex:" for no bytes
//   List=multi_sz:"a","b"                  ; REG_MULTI_SZ
//   Other=hex(b):00,00,00,00,00,00,00,00   ; any type (number in hex) with raw bytes
//   "Name with spaces"=dword:1             ; quoted value name; @ is the unnamed value
//   [@device]                              ; the device's configuration key (RegistrySetDevicePath)
//   [@device\Sub]                          ; a key below it
// A section creates its key and every key above it. Loading is all or nothing: the first
// malformed line refuses the whole text with "line N: reason".
//
// Paths given to the functions below are absolute ("\Registry\...") or start with "@device".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kshim::host {

struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// The full path of the device's configuration key that "@device" stands for. Set it before
// loading text that uses [@device]. The default is
// "\Registry\Machine\SYSTEM\CurrentControlSet\Control\Class\Net\0000".
void RegistrySetDevicePath(const std::string& path);
std::string RegistryDevicePath();

// Loads text into the store (adding to what is there). False with *error = "line N: reason" on
// the first malformed line; the store is then unchanged.
bool RegistryLoadText(const std::string& text, std::string* error = nullptr);
bool RegistryLoadFile(const std::string& file, std::string* error = nullptr);
// The whole store in the text form (keys in name order, values in the order they were created).
std::string RegistryDumpText();
// Empties the store (the device path stays).
void RegistryClear();

// Creates a key and every key above it.
void RegistryCreateKey(const std::string& path);
bool RegistryKeyExists(const std::string& path);
// Removes a key with its values and every key below it.
bool RegistryDeleteKey(const std::string& path);

// Setting a value creates its key (and the keys above it).
void RegistrySetValue(const std::string& path, const std::string& name, uint32_t type,
                      const std::vector<uint8_t>& data);
void RegistrySetDword(const std::string& path, const std::string& name, uint32_t value);
// REG_SZ: UTF-8 text stored as terminated UTF-16.
void RegistrySetString(const std::string& path, const std::string& name, const std::string& text);
void RegistrySetMultiString(const std::string& path, const std::string& name,
                            const std::vector<std::string>& texts);
void RegistrySetBinary(const std::string& path, const std::string& name, const std::vector<uint8_t>& data);

std::optional<RegistryValue> RegistryGetValue(const std::string& path, const std::string& name);
// A REG_DWORD value (no value, or another type or size: nothing).
std::optional<uint32_t> RegistryGetDword(const std::string& path, const std::string& name);
// A REG_SZ or REG_EXPAND_SZ value as UTF-8, up to its first zero.
std::optional<std::string> RegistryGetString(const std::string& path, const std::string& name);
bool RegistryDeleteValue(const std::string& path, const std::string& name);

}  // namespace kshim::host
