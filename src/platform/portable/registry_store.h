#pragma once

// The stand-in machine's registry, held in a .reg file as regedit writes it.
// HKEY_CLASSES_ROOT is the view of HKEY_LOCAL_MACHINE\SOFTWARE\Classes: both
// roots reach the same keys; HKEY_CURRENT_USER is the only other root.
// Key and value names compare case-insensitively and keep their stored
// case; "\" is the only path separator, and a trailing one is ignored.
// Every key, value and type the program does not delete survives a rewrite
// with its data byte for byte.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/platform_services.h"

namespace stravik::portable {

// Value types as Windows numbers them; any other number is kept as it is.
namespace registryType {
enum : std::uint32_t { string = 1, expandString = 2, binary = 3, dword = 4, multiString = 7 };
}

inline bool isStringType(std::uint32_t type) {
    return type == registryType::string || type == registryType::expandString ||
           type == registryType::multiString;
}

// A value with its data as Windows stores it (string types: UTF-16LE with
// the terminator).
struct RegistryValue {
    Text name;
    std::uint32_t type = registryType::binary;
    std::vector<std::uint8_t> data;
};

struct RegistryKey {
    Text name;
    std::vector<RegistryValue> values;
    std::vector<RegistryKey> subKeys;
};

// UTF-16LE as the registry stores strings. Decoding drops a trailing odd
// byte, joins surrogate pairs and keeps unpaired surrogates as they are.
Text textFromUtf16Le(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> utf16LeFromText(const Text& text);

class RegistryStore {
public:
    explicit RegistryStore(std::filesystem::path file);

    // Replaces the contents with the file's. A missing or unreadable file
    // is an empty registry. A malformed one (text not valid in its encoding
    // included) raises RaisedError naming the line, leaves the store
    // empty, and keeps save() from ever rewriting it.
    void load();

    // "" as valueName names the key's default value. HKEY_CURRENT_USER may
    // be passed by its handle value 0x80000001; "" as subKey names the root.
    const RegistryValue* findValue(RegistryRoot root, const Text& subKey,
                                   const Text& valueName) const;
    bool keyExists(RegistryRoot root, const Text& subKey) const;

    // Both return true when something was removed; a missing key or value
    // is quietly nothing. A root itself is never deleted.
    bool deleteKeyTree(RegistryRoot root, const Text& subKey);
    bool deleteValue(RegistryRoot root, const Text& subKey, const Text& valueName);

    // Writes the registry as "Windows Registry Editor Version 5.00" in
    // UTF-16LE, atomically: a temporary file in the same folder, flushed to
    // disk, then renamed over the file. Raises RaisedError when it cannot.
    // Does nothing after a malformed load.
    void save() const;

private:
    std::filesystem::path file_;
    RegistryKey top_;  // its sub-keys are the roots
    bool malformed_ = false;
};

}  // namespace stravik::portable
