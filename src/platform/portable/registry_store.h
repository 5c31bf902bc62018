#pragma once

// The stand-in machine's registry, held in a .reg file as regedit and
// `reg export` write it. HKEY_CLASSES_ROOT is the view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes: both roots reach the same keys.
// Key and value names compare case-insensitively and keep their stored
// case; "\" is the only path separator, and a trailing one is ignored.
// Every key, value and type the program does not delete survives a rewrite
// with its data byte for byte.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "platform/platform_services.h"

namespace stravik::portable {

// Value types as Windows numbers them.
namespace registryType {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t string = 1;
inline constexpr std::uint32_t expandString = 2;
inline constexpr std::uint32_t binary = 3;
inline constexpr std::uint32_t dword = 4;
inline constexpr std::uint32_t multiString = 7;
inline constexpr std::uint32_t qword = 11;
}  // namespace registryType

// A value with its data as Windows stores it (string types: UTF-16LE with
// the terminator).
struct RegistryValue {
    Text name;
    std::uint32_t type = registryType::none;
    std::vector<std::uint8_t> data;
};

// UTF-16LE as the registry stores strings. Decoding drops a trailing odd
// byte and keeps unpaired surrogates as they are.
Text textFromUtf16Le(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> utf16LeFromText(const Text& text);

class RegistryTree;

class RegistryStore {
public:
    explicit RegistryStore(std::filesystem::path file);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;
    RegistryStore(RegistryStore&&) noexcept;
    RegistryStore& operator=(RegistryStore&&) noexcept;

    // Replaces the contents with the file's. A missing or unreadable file
    // is an empty registry. A malformed one raises RaisedError naming the
    // line, leaves the store empty, and keeps save() from ever rewriting it.
    void load();

    // "" as valueName names the key's default value. Roots other than the
    // two of RegistryRoot may be passed by their predefined handle values
    // (HKEY_CURRENT_USER 0x80000001, HKEY_USERS 0x80000003,
    // HKEY_CURRENT_CONFIG 0x80000005); "" as subKey names the root itself.
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
    std::unique_ptr<RegistryTree> tree_;
    bool malformed_ = false;
};

}  // namespace stravik::portable
