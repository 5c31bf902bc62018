#include "platform/portable/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <optional>
#include <ranges>
#include <string_view>

#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"
#include "platform/portable/windows1252.h"
#include "platform/scope_exit.h"

namespace stravik::portable {
namespace {

// Text is UTF-32 here: any surrogate left in a Text is an unpaired one.
static_assert(sizeof(wchar_t) == 4);

// Windows' own numbers for a damaged registry and a failed registry write.
constexpr std::int32_t registryCorruptNumber = 1015;
constexpr std::int32_t registryWriteFailedNumber = 1016;

constexpr std::wstring_view unicodeHeader = L"Windows Registry Editor Version 5.00";
constexpr std::string_view narrowHeader = "REGEDIT4";

// The roots a key's path may start with, and the keys of the tree each
// stands for: HKEY_CLASSES_ROOT has no tree of its own.
struct Root {
    std::wstring_view name;
    std::uint32_t handle;
    std::wstring_view location;
};
constexpr std::array<Root, 3> roots = {{
    {L"HKEY_CLASSES_ROOT", 0x80000000u, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"},
    {L"HKEY_CURRENT_USER", 0x80000001u, L"HKEY_CURRENT_USER"},
    {L"HKEY_LOCAL_MACHINE", 0x80000002u, L"HKEY_LOCAL_MACHINE"},
}};

// Where a .reg file stops making sense: turned into a raised error that
// names the file and the line.
struct MalformedLine {
    std::size_t lineNumber;
    Text reason;
};

// Names compare as the file system's do, upper-cased character by character.
bool sameName(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() && foldCase(Text(left)) == foldCase(Text(right));
}

bool isSurrogate(wchar_t character) { return character >= 0xD800 && character <= 0xDFFF; }

std::vector<std::wstring_view> splitAt(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring_view> pieces;
    for (const auto piece : std::views::split(text, separator)) {
        pieces.emplace_back(piece.begin(), piece.end());
    }
    return pieces;
}

// Splits a key path at "\". One trailing separator is ignored; any other
// empty component names no key.
std::optional<std::vector<Text>> splitKeyPath(std::wstring_view path) {
    if (path.ends_with(L'\\')) path.remove_suffix(1);
    const auto components = splitAt(path, L'\\');
    if (std::ranges::any_of(components, [](auto name) { return name.empty(); }))
        return std::nullopt;
    return std::vector<Text>(components.begin(), components.end());
}

// The names from the top of the tree down to `subKey` of the root with
// `handle`; null for an unknown root or a key path with an empty name.
std::optional<std::vector<Text>> keyPath(std::uint32_t handle, std::wstring_view subKey) {
    for (const Root& root : roots) {
        if (root.handle == handle) return splitKeyPath(Text(root.location) + L"\\" + Text(subKey));
    }
    return std::nullopt;
}

// `Key` is RegistryKey or its const: what is found can be changed only
// through a tree that can.
template <typename Key>
Key* subKeyNamed(Key& key, std::wstring_view name) {
    for (auto& subKey : key.subKeys) {
        if (sameName(subKey.name, name)) return &subKey;
    }
    return nullptr;
}

template <typename Key>
Key* keyAt(Key& top, std::span<const Text> path) {
    Key* key = &top;
    for (std::size_t index = 0; key != nullptr && index < path.size(); ++index) {
        key = subKeyNamed(*key, path[index]);
    }
    return key;
}

template <typename Key>
Key* keyAt(Key& top, RegistryRoot root, const Text& subKey) {
    const auto path = keyPath(static_cast<std::uint32_t>(root), subKey);
    return path ? keyAt(top, std::span<const Text>(*path)) : nullptr;
}

template <typename Key>
auto valueNamed(Key& key, std::wstring_view name) {
    return std::find_if(key.values.begin(), key.values.end(),
                        [&](const RegistryValue& value) { return sameName(value.name, name); });
}

// The key at `path`, created with its ancestors.
RegistryKey& declare(RegistryKey& top, const std::vector<Text>& path) {
    RegistryKey* key = &top;
    for (const Text& name : path) {
        RegistryKey* next = subKeyNamed(*key, name);
        key = next != nullptr ? next : &key->subKeys.emplace_back(RegistryKey{name, {}, {}});
    }
    return *key;
}

constexpr std::wstring_view blanks = L" \t\r";

std::wstring_view trimmed(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The file's text, its header checked: UTF-16LE after its byte order mark,
// Windows-1252 for REGEDIT4, else UTF-8.
Text decodeFile(std::string_view bytes) {
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const Text text = bytes.starts_with(narrowHeader) ? fromWindows1252(NarrowText(bytes))
                      : utf16 ? textFromUtf16Le({begin + 2, bytes.size() - 2})
                              : decodeUtf8(bytes);
    // Both decoders keep what is not valid in their encoding as lone
    // surrogates: unpaired UTF-16 ones, and bytes that are not UTF-8.
    const auto invalid = std::find_if(text.begin(), text.end(), isSurrogate);
    if (invalid != text.end() || (utf16 && bytes.size() % 2 != 0)) {
        throw MalformedLine{
            static_cast<std::size_t>(std::count(text.begin(), invalid, L'\n')) + 1,
            utf16 ? L"the text is not valid UTF-16" : L"the text is not valid UTF-8"};
    }
    const std::wstring_view header = trimmed(std::wstring_view(text).substr(0, text.find(L'\n')));
    if (header != (bytes.starts_with(narrowHeader) ? L"REGEDIT4" : unicodeHeader)) {
        throw MalformedLine{1, L"the first line is not a registry editor header"};
    }
    return text;
}

std::optional<std::uint32_t> parseHexNumber(std::wstring_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint32_t number = 0;
    for (const wchar_t digit : digits) {
        const std::size_t value = std::wstring_view(L"0123456789abcdefABCDEF").find(digit);
        if (value == std::wstring_view::npos) return std::nullopt;
        number = (number << 4) | static_cast<std::uint32_t>(value < 16 ? value : value - 6);
    }
    return number;
}

// Reading a .reg file.

class RegFileParser {
public:
    RegFileParser(std::wstring_view text, bool narrowFormat, RegistryKey& top)
        : narrowFormat_(narrowFormat), top_(top), lines_(splitAt(text, L'\n')) {}

    void parse() {
        // The first line is the header, already checked.
        for (next_ = 1; next_ < lines_.size();) {
            lineNumber_ = next_ + 1;
            const std::wstring_view line = trimmed(lines_[next_++]);
            if (line.empty() || line.front() == L';') continue;
            if (line.front() == L'[') {
                parseSection(line);
            } else if (line.front() == L'@' || line.front() == L'"') {
                parseValueLine(line);
            } else {
                fail(L"the line is neither a key, a value nor a comment");
            }
        }
    }

private:
    [[noreturn]] void fail(std::wstring_view reason) const {
        throw MalformedLine{lineNumber_, Text(reason)};
    }

    void parseSection(std::wstring_view line) {
        if (line.back() != L']') fail(L"a key line must end with \"]\"");
        const std::wstring_view path = line.substr(1, line.size() - 2);
        const std::size_t rootEnd = std::min(path.find(L'\\'), path.size());
        const auto root = std::find_if(roots.begin(), roots.end(), [&](const Root& candidate) {
            return sameName(candidate.name, path.substr(0, rootEnd));
        });
        if (root == roots.end()) fail(L"the key does not start with a known root");
        const auto components =
            keyPath(root->handle, path.substr(std::min(rootEnd + 1, path.size())));
        if (!components) fail(L"the key path has an empty key name");
        currentKey_ = &declare(top_, *components);
    }

    // Reads a quoted text starting at `position` (just after the opening
    // quote); leaves `position` after the closing quote.
    Text readQuoted(std::wstring_view line, std::size_t& position) const {
        constexpr std::wstring_view escapes = L"\\\"nr0";
        constexpr std::wstring_view escaped(L"\\\"\n\r\0", 5);
        Text text;
        while (position < line.size()) {
            const wchar_t character = line[position++];
            if (character == L'"') return text;
            const std::size_t escape = character == L'\\' && position < line.size()
                                           ? escapes.find(line[position])
                                           : std::wstring_view::npos;
            if (escape == std::wstring_view::npos) {
                text.push_back(character);  // not an escape: the "\" stands for itself
            } else {
                text.push_back(escaped[escape]);
                ++position;
            }
        }
        fail(L"a quoted text is not closed");
    }

    void parseValueLine(std::wstring_view line) {
        if (currentKey_ == nullptr) fail(L"a value comes before any key");
        std::size_t position = 1;
        RegistryValue value;
        if (line.front() == L'"') value.name = readQuoted(line, position);
        const std::wstring_view afterName = trimmed(line.substr(position));
        if (!afterName.starts_with(L'=')) fail(L"the value name is not followed by \"=\"");
        const std::wstring_view data = trimmed(afterName.substr(1));

        if (data.starts_with(L'"')) {
            std::size_t dataPosition = 1;
            const Text text = readQuoted(data, dataPosition);
            if (dataPosition != data.size()) fail(L"unexpected text after the closing quote");
            value.type = registryType::string;
            value.data = utf16LeFromText(text + L'\0');
        } else if (data.starts_with(L"dword:")) {
            const auto number = parseHexNumber(data.substr(6), 8);
            if (!number) fail(L"a dword value needs one to eight hex digits");
            value.type = registryType::dword;
            for (int shift = 0; shift < 32; shift += 8) {
                value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
            }
        } else if (data.starts_with(L"hex")) {
            parseHexValue(data.substr(3), value);
        } else {
            fail(L"the value's data is of no known form");
        }
        const auto found = valueNamed(*currentKey_, value.name);
        if (found == currentKey_->values.end()) {
            currentKey_->values.push_back(std::move(value));
        } else {
            found->type = value.type;  // the stored name keeps its case
            found->data = std::move(value.data);
        }
    }

    // `rest` follows "hex": either ":" or "(N):", then the bytes, possibly
    // continued over the following lines with a trailing "\".
    void parseHexValue(std::wstring_view rest, RegistryValue& value) {
        value.type = registryType::binary;
        if (rest.starts_with(L'(')) {
            // Without a ")" the digits run into what follows and fail.
            const std::size_t close = rest.find(L')');
            const auto type = parseHexNumber(rest.substr(1, close - 1), 8);
            if (!type) fail(L"hex(N) needs a hex type number");
            value.type = *type;
            rest.remove_prefix(close + 1);
        }
        if (!rest.starts_with(L':')) fail(L"hex data must follow \":\"");
        Text bytesText(trimmed(rest.substr(1)));
        while (bytesText.ends_with(L'\\')) {
            bytesText.pop_back();
            if (next_ == lines_.size()) break;
            bytesText += trimmed(lines_[next_++]);
        }
        std::wstring_view remaining = bytesText;
        while (!trimmed(remaining).empty()) {
            const std::size_t comma = remaining.find(L',');
            const auto byte = parseHexNumber(trimmed(remaining.substr(0, comma)), 2);
            if (!byte) fail(L"hex data must be bytes of two hex digits separated by commas");
            value.data.push_back(static_cast<std::uint8_t>(*byte));
            if (comma == std::wstring_view::npos) break;
            remaining.remove_prefix(comma + 1);
        }
        // A REGEDIT4 script was imported through the code page, and Windows
        // stores the string types it sets that way as UTF-16.
        if (narrowFormat_ && isStringType(value.type)) {
            value.data =
                utf16LeFromText(fromWindows1252(NarrowText(value.data.begin(), value.data.end())));
        }
    }

    bool narrowFormat_;
    RegistryKey& top_;
    std::vector<std::wstring_view> lines_;
    std::size_t next_ = 0;
    std::size_t lineNumber_ = 1;
    RegistryKey* currentKey_ = nullptr;
};

// Writing a .reg file that regedit reads back to the same registry: one
// line per value.

Text escaped(std::wstring_view text) {
    Text result;
    for (const wchar_t character : text) {
        if (character == L'\\' || character == L'"') result.push_back(L'\\');
        result.push_back(character);
    }
    return result;
}

Text hexDigits(std::uint32_t number, int width) {
    std::array<wchar_t, 9> digits{};
    std::swprintf(digits.data(), digits.size(), L"%0*x", width, number);
    return digits.data();
}

// A string that reads back to the same bytes, terminator included, and
// that fits on one line.
std::optional<Text> asPlainString(const RegistryValue& value) {
    const std::size_t size = value.data.size();
    if (value.type != registryType::string || size < 2 || size % 2 != 0 ||
        value.data[size - 2] != 0 || value.data[size - 1] != 0) {
        return std::nullopt;
    }
    const Text text = textFromUtf16Le({value.data.data(), size - 2});
    const bool oneLine = std::none_of(text.begin(), text.end(), [](wchar_t character) {
        return character == L'\0' || character == L'\r' || character == L'\n' ||
               isSurrogate(character);
    });
    return oneLine ? std::optional(text) : std::nullopt;
}

Text valueLine(const RegistryValue& value) {
    const Text line =
        (value.name.empty() ? Text(L"@") : L"\"" + escaped(value.name) + L"\"") + L"=";
    if (const auto text = asPlainString(value)) return line + L"\"" + escaped(*text) + L"\"";
    if (value.type == registryType::dword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int index = 3; index >= 0; --index) number = (number << 8) | value.data[index];
        return line + L"dword:" + hexDigits(number, 8);
    }
    Text hex = value.type == registryType::binary ? Text(L"hex:")
                                                  : L"hex(" + hexDigits(value.type, 1) + L"):";
    for (std::size_t index = 0; index < value.data.size(); ++index) {
        hex += (index == 0 ? L"" : L",") + hexDigits(value.data[index], 2);
    }
    return line + hex;
}

// Every key below a root is a section of its own; a root only when it
// holds values.
void appendKey(Text& out, const RegistryKey& key, const Text& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += L"[" + path + L"]\r\n";
        for (const auto& value : key.values) out += valueLine(value) + L"\r\n";
        out += L"\r\n";
    }
    for (const auto& subKey : key.subKeys)
        appendKey(out, subKey, path + L"\\" + subKey.name, false);
}

std::string serialise(const RegistryKey& top) {
    Text out = Text(unicodeHeader) + L"\r\n\r\n";
    for (const auto& root : top.subKeys) appendKey(out, root, root.name, true);
    const auto encoded = utf16LeFromText(out);
    return "\xFF\xFE" + std::string(encoded.begin(), encoded.end());
}

// Atomic replacement of the file.

[[noreturn]] void failToWrite(const std::filesystem::path& file, int error) {
    throw RaisedError(registryWriteFailedNumber, L"The registry could not be written to " +
                                                     fromWindows1252(file.filename().string()) +
                                                     L": " + fromWindows1252(std::strerror(error)));
}

void writeAtomically(const std::filesystem::path& file, const std::string& bytes) {
    const std::filesystem::path folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd) failToWrite(file, errno);
    auto removeTemporary = scopeExit([&] { ::unlink(temporary.c_str()); });

    // The rewritten file keeps the permissions of the one it replaces.
    struct stat existing {};
    const mode_t mode = ::stat(file.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
    if (::fchmod(fd.get(), mode) != 0) failToWrite(file, errno);

    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t count = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) failToWrite(file, errno);
        written += static_cast<std::size_t>(count);
    }
    // Closed here, not by the owner, because a failing close means lost data.
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0) failToWrite(file, errno);
    if (::rename(temporary.c_str(), file.c_str()) != 0) failToWrite(file, errno);
    removeTemporary.release();

    // Make the rename itself durable.
    const UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd) ::fsync(folderFd.get());
}

}  // namespace

Text textFromUtf16Le(std::span<const std::uint8_t> bytes) {
    Text text;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[index] | (bytes[index + 1] << 8));
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (low && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            text.back() = 0x10000 + ((text.back() - 0xD800) << 10) + (unit - 0xDC00);
        } else {
            text.push_back(unit);
        }
    }
    return text;
}

std::vector<std::uint8_t> utf16LeFromText(const Text& text) {
    std::vector<std::uint8_t> bytes;
    const auto append = [&](std::uint32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const wchar_t character : text) {
        const auto codePoint = static_cast<std::uint32_t>(character);
        if (codePoint >= 0x10000) {
            append(0xD800 + ((codePoint - 0x10000) >> 10));
            append(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        } else {
            append(codePoint);
        }
    }
    return bytes;
}

RegistryStore::RegistryStore(std::filesystem::path file) : file_(std::move(file)) {}

void RegistryStore::load() {
    top_ = {};
    malformed_ = false;
    // A folder, say, where the file should be is no registry at all.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file_, error)) return;
    std::ifstream stream(file_, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(stream), {}};
    if (bytes.empty()) return;
    try {
        const Text text = decodeFile(bytes);
        RegFileParser(text, bytes.starts_with(narrowHeader), top_).parse();
    } catch (const MalformedLine& malformed) {
        top_ = {};
        malformed_ = true;
        throw RaisedError(registryCorruptNumber,
                          L"The registry file " + fromWindows1252(file_.filename().string()) +
                              L" is malformed at line " + std::to_wstring(malformed.lineNumber) +
                              L": " + malformed.reason);
    }
}

const RegistryValue* RegistryStore::findValue(RegistryRoot root, const Text& subKey,
                                              const Text& valueName) const {
    const RegistryKey* key = keyAt(top_, root, subKey);
    if (key == nullptr) return nullptr;
    const auto found = valueNamed(*key, valueName);
    return found == key->values.end() ? nullptr : &*found;
}

bool RegistryStore::keyExists(RegistryRoot root, const Text& subKey) const {
    return keyAt(top_, root, subKey) != nullptr;
}

bool RegistryStore::deleteKeyTree(RegistryRoot root, const Text& subKey) {
    const auto path = keyPath(static_cast<std::uint32_t>(root), subKey);
    if (!path || subKey.empty()) return false;  // a root is never deleted
    RegistryKey* parent = keyAt(top_, std::span<const Text>(*path).first(path->size() - 1));
    return parent != nullptr && std::erase_if(parent->subKeys, [&](const RegistryKey& key) {
                                    return sameName(key.name, path->back());
                                }) > 0;
}

bool RegistryStore::deleteValue(RegistryRoot root, const Text& subKey, const Text& valueName) {
    RegistryKey* key = keyAt(top_, root, subKey);
    return key != nullptr && std::erase_if(key->values, [&](const RegistryValue& value) {
                                 return sameName(value.name, valueName);
                             }) > 0;
}

void RegistryStore::save() const {
    if (malformed_) return;
    writeAtomically(file_, serialise(top_));
}

}  // namespace stravik::portable
