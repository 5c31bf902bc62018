#include "platform/portable/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/portable/unique_fd.h"
#include "platform/portable/utf8.h"
#include "platform/portable/windows1252.h"

namespace stravik::portable {

namespace {

constexpr std::uint32_t classesRootHandle = 0x80000000u;
constexpr std::uint32_t localMachineHandle = 0x80000002u;

// Windows' own numbers for a damaged registry and a failed registry write.
constexpr std::int32_t registryCorruptNumber = 1015;
constexpr std::int32_t registryWriteFailedNumber = 1016;

constexpr std::wstring_view unicodeHeader = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view narrowHeader = L"REGEDIT4";

struct RootName {
    std::wstring_view name;
    std::uint32_t handle;
};

// HKEY_CLASSES_ROOT has no tree of its own: it is the view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
constexpr std::array<RootName, 5> rootNames = {{
    {L"HKEY_CLASSES_ROOT", classesRootHandle},
    {L"HKEY_CURRENT_USER", 0x80000001u},
    {L"HKEY_LOCAL_MACHINE", localMachineHandle},
    {L"HKEY_USERS", 0x80000003u},
    {L"HKEY_CURRENT_CONFIG", 0x80000005u},
}};
constexpr std::array<std::wstring_view, 2> classesRootLocation = {L"SOFTWARE", L"Classes"};

// Names compare as the file system's do, upper-cased character by character.
bool sameName(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() && foldCase(Text(left)) == foldCase(Text(right));
}

std::optional<std::uint32_t> rootHandleNamed(std::wstring_view name) {
    for (const auto& root : rootNames) {
        if (sameName(root.name, name)) return root.handle;
    }
    return std::nullopt;
}

// Splits a sub-key path at "\". One trailing separator is ignored; any
// other empty component names no key.
std::optional<std::vector<Text>> splitKeyPath(std::wstring_view path) {
    std::vector<Text> components;
    if (path.empty()) return components;
    if (path.back() == L'\\') path.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find(L'\\', start);
        const auto component = path.substr(start, end - start);
        if (component.empty()) return std::nullopt;
        components.emplace_back(component);
        if (end == std::wstring_view::npos) return components;
        start = end + 1;
    }
}

constexpr bool wideCharIsUtf16 = sizeof(wchar_t) == 2;

void appendCodePoint(Text& text, char32_t codePoint) {
    if (!wideCharIsUtf16 || codePoint < 0x10000) {
        text.push_back(static_cast<wchar_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    text.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
    text.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
}

void appendUtf16Unit(std::vector<std::uint8_t>& bytes, char32_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// Where a .reg file stops making sense: turned into a raised error that
// names the file and the line.
struct MalformedLine {
    std::size_t lineNumber;
    Text reason;
};

// Decodes UTF-8 strictly: a .reg file with broken UTF-8 is malformed.
Text textFromUtf8(std::string_view bytes) {
    Text text;
    std::size_t lineNumber = 1;
    for (std::size_t index = 0; index < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[index]);
        if (lead == '\n') ++lineNumber;
        std::size_t length = 1;
        char32_t codePoint = lead;
        char32_t minimum = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, codePoint = lead & 0x07, minimum = 0x10000;
        } else if (lead >= 0xE0) {
            length = 3, codePoint = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, codePoint = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0x80) {
            throw MalformedLine{lineNumber, L"the text is not valid UTF-8"};
        }
        if (index + length > bytes.size()) {
            throw MalformedLine{lineNumber, L"the text is not valid UTF-8"};
        }
        for (std::size_t next = 1; next < length; ++next) {
            const auto continuation = static_cast<unsigned char>(bytes[index + next]);
            if ((continuation & 0xC0) != 0x80) {
                throw MalformedLine{lineNumber, L"the text is not valid UTF-8"};
            }
            codePoint = (codePoint << 6) | (continuation & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            throw MalformedLine{lineNumber, L"the text is not valid UTF-8"};
        }
        appendCodePoint(text, codePoint);
        index += length;
    }
    return text;
}

struct DecodedFile {
    Text text;
    bool narrowFormat = false;  // REGEDIT4: strings were stored through the code page
};

DecodedFile decodeFile(const std::string& bytes) {
    const auto startsWith = [&](std::string_view prefix) {
        return std::string_view(bytes).starts_with(prefix);
    };
    DecodedFile decoded;
    if (startsWith("\xFF\xFE")) {
        const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2;
        decoded.text = textFromUtf16Le({begin, bytes.size() - 2});
        if (bytes.size() % 2 != 0) {
            const auto lastLine = std::count(decoded.text.begin(), decoded.text.end(), L'\n') + 1;
            throw MalformedLine{static_cast<std::size_t>(lastLine),
                                L"the UTF-16 text ends in half a character"};
        }
    } else if (startsWith("\xEF\xBB\xBF")) {
        decoded.text = textFromUtf8(std::string_view(bytes).substr(3));
    } else if (startsWith("REGEDIT4")) {
        decoded.text = fromWindows1252(bytes);
    } else {
        decoded.text = textFromUtf8(bytes);
    }
    const std::wstring_view text = decoded.text;
    const std::wstring_view firstLine = text.substr(0, text.find(L'\n'));
    const auto header = firstLine.substr(0, firstLine.find_last_not_of(L" \t\r") + 1);
    if (header == narrowHeader) {
        decoded.narrowFormat = true;
    } else if (header != unicodeHeader) {
        throw MalformedLine{1, L"the first line is not a registry editor header"};
    }
    return decoded;
}

constexpr std::wstring_view blanks = L" \t\r";

std::wstring_view trimmed(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<std::uint32_t> parseHexNumber(std::wstring_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint32_t number = 0;
    for (const wchar_t digit : digits) {
        std::uint32_t value = 0;
        if (digit >= L'0' && digit <= L'9') {
            value = static_cast<std::uint32_t>(digit - L'0');
        } else if (digit >= L'a' && digit <= L'f') {
            value = static_cast<std::uint32_t>(digit - L'a' + 10);
        } else if (digit >= L'A' && digit <= L'F') {
            value = static_cast<std::uint32_t>(digit - L'A' + 10);
        } else {
            return std::nullopt;
        }
        number = (number << 4) | value;
    }
    return number;
}

}  // namespace

Text textFromUtf16Le(std::span<const std::uint8_t> bytes) {
    Text text;
    text.reserve(bytes.size() / 2);
    const auto unitAt = [&](std::size_t index) {
        return static_cast<char32_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
    };
    const std::size_t unitCount = bytes.size() / 2;
    for (std::size_t index = 0; index < unitCount; ++index) {
        const char32_t unit = unitAt(index);
        const bool startsPair = unit >= 0xD800 && unit <= 0xDBFF && index + 1 < unitCount &&
                                unitAt(index + 1) >= 0xDC00 && unitAt(index + 1) <= 0xDFFF;
        if (startsPair && !wideCharIsUtf16) {
            appendCodePoint(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(index + 1) - 0xDC00));
            ++index;
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

std::vector<std::uint8_t> utf16LeFromText(const Text& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t character : text) {
        const auto codePoint = static_cast<char32_t>(character);
        if (codePoint >= 0x10000) {
            const char32_t offset = codePoint - 0x10000;
            appendUtf16Unit(bytes, 0xD800 + (offset >> 10));
            appendUtf16Unit(bytes, 0xDC00 + (offset & 0x3FF));
        } else {
            appendUtf16Unit(bytes, codePoint);
        }
    }
    return bytes;
}

// ---------------------------------------------------------------------------
// The keys. Every key that appeared as a section of its own (or that must
// survive as an empty key) is "declared" and is written back as a section,
// in the order the sections first appeared; keys that exist only as the
// ancestors of declared ones are not written, as they were not in the file.

struct KeyNode {
    Text name;
    bool declared = false;
    bool declaredThroughClassesRoot = false;
    std::uint64_t sectionOrder = 0;
    std::vector<RegistryValue> values;
    std::vector<std::unique_ptr<KeyNode>> subKeys;

    KeyNode* subKeyNamed(std::wstring_view wanted) const {
        for (const auto& subKey : subKeys) {
            if (sameName(subKey->name, wanted)) return subKey.get();
        }
        return nullptr;
    }

    std::vector<RegistryValue>::iterator valueNamed(std::wstring_view wanted) {
        return std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
            return sameName(value.name, wanted);
        });
    }
};

class RegistryTree {
public:
    RegistryTree() {
        for (const auto& root : rootNames) {
            if (root.handle == classesRootHandle) continue;
            auto node = std::make_unique<KeyNode>();
            node->name = Text(root.name);
            roots_.push_back({root.handle, std::move(node)});
        }
    }

    KeyNode* find(std::uint32_t rootHandle, const std::vector<Text>& components) const {
        KeyNode* node = rootNode(rootHandle);
        if (node == nullptr) return nullptr;
        for (const auto& component : fromTrueRoot(rootHandle, components)) {
            node = node->subKeyNamed(component);
            if (node == nullptr) return nullptr;
        }
        return node;
    }

    // The key a section header names, created with its ancestors.
    KeyNode& declare(std::uint32_t rootHandle, const std::vector<Text>& components) {
        KeyNode* node = rootNode(rootHandle);
        for (const auto& component : fromTrueRoot(rootHandle, components)) {
            KeyNode* next = node->subKeyNamed(component);
            if (next == nullptr) {
                node->subKeys.push_back(std::make_unique<KeyNode>());
                next = node->subKeys.back().get();
                next->name = component;
            }
            node = next;
        }
        if (!node->declared) {
            node->declared = true;
            node->declaredThroughClassesRoot = rootHandle == classesRootHandle;
            node->sectionOrder = nextSectionOrder_++;
        }
        return *node;
    }

    bool removeSubtree(std::uint32_t rootHandle, const std::vector<Text>& components) {
        if (components.empty()) return false;  // a root is never deleted
        const std::vector<Text> parentPath(components.begin(), components.end() - 1);
        KeyNode* parent = find(rootHandle, parentPath);
        if (parent == nullptr) return false;
        const auto found = std::find_if(
            parent->subKeys.begin(), parent->subKeys.end(),
            [&](const auto& subKey) { return sameName(subKey->name, components.back()); });
        if (found == parent->subKeys.end()) return false;
        const std::optional<std::uint64_t> firstSection = earliestSection(**found);
        parent->subKeys.erase(found);
        // The parent stays, now possibly empty: it must be written as a
        // section of its own, where the removed subtree used to start.
        const bool parentIsRoot = rootHandle != classesRootHandle && parentPath.empty();
        if (!parent->declared && !parentIsRoot && firstSection) {
            parent->declared = true;
            parent->declaredThroughClassesRoot = rootHandle == classesRootHandle;
            parent->sectionOrder = *firstSection;
        }
        return true;
    }

    struct Section {
        Text header;  // the key's full path, as written between brackets
        const KeyNode* key;
        std::uint64_t order;
    };

    std::vector<Section> sectionsInOrder() const {
        std::vector<Section> sections;
        for (const auto& root : roots_) {
            std::vector<std::wstring_view> path;
            collectSections(*root.node, path, sections);
        }
        std::sort(sections.begin(), sections.end(),
                  [](const Section& a, const Section& b) { return a.order < b.order; });
        return sections;
    }

private:
    struct Root {
        std::uint32_t handle;
        std::unique_ptr<KeyNode> node;
    };

    KeyNode* rootNode(std::uint32_t rootHandle) const {
        const std::uint32_t treeHandle =
            rootHandle == classesRootHandle ? localMachineHandle : rootHandle;
        for (const auto& root : roots_) {
            if (root.handle == treeHandle) return root.node.get();
        }
        return nullptr;
    }

    static std::vector<Text> fromTrueRoot(std::uint32_t rootHandle,
                                          const std::vector<Text>& components) {
        if (rootHandle != classesRootHandle) return components;
        std::vector<Text> path(classesRootLocation.begin(), classesRootLocation.end());
        path.insert(path.end(), components.begin(), components.end());
        return path;
    }

    static std::optional<std::uint64_t> earliestSection(const KeyNode& key) {
        std::optional<std::uint64_t> earliest;
        if (key.declared) earliest = key.sectionOrder;
        for (const auto& subKey : key.subKeys) {
            const auto candidate = earliestSection(*subKey);
            if (candidate && (!earliest || *candidate < *earliest)) earliest = candidate;
        }
        return earliest;
    }

    // `path` holds the names from the root node down to `key`, inclusive.
    static void collectSections(const KeyNode& key, std::vector<std::wstring_view>& path,
                                std::vector<Section>& sections) {
        path.push_back(key.name);
        if (key.declared) {
            Text header;
            auto first = path.begin();
            if (key.declaredThroughClassesRoot) {
                header = L"HKEY_CLASSES_ROOT";
                first += 1 + classesRootLocation.size();
            } else {
                header = *first++;
            }
            for (; first != path.end(); ++first) {
                header += L'\\';
                header += *first;
            }
            sections.push_back({std::move(header), &key, key.sectionOrder});
        }
        for (const auto& subKey : key.subKeys) collectSections(*subKey, path, sections);
        path.pop_back();
    }

    std::vector<Root> roots_;
    std::uint64_t nextSectionOrder_ = 0;
};

// ---------------------------------------------------------------------------
// Reading a .reg file.

namespace {

class RegFileParser {
public:
    RegFileParser(const DecodedFile& file, RegistryTree& tree)
        : narrowFormat_(file.narrowFormat), tree_(tree) {
        std::wstring_view text = file.text;
        while (!text.empty()) {
            const std::size_t end = text.find(L'\n');
            lines_.push_back(text.substr(0, end));
            if (end == std::wstring_view::npos) break;
            text.remove_prefix(end + 1);
        }
    }

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
        std::wstring_view path = line.substr(1, line.size() - 2);
        const bool deletion = path.starts_with(L'-');
        if (deletion) path.remove_prefix(1);
        const std::size_t rootEnd = path.find(L'\\');
        const auto rootHandle = rootHandleNamed(path.substr(0, rootEnd));
        if (!rootHandle) fail(L"the key does not start with a known root");
        const auto components = splitKeyPath(
            rootEnd == std::wstring_view::npos ? std::wstring_view{} : path.substr(rootEnd + 1));
        if (!components) fail(L"the key path has an empty key name");
        sawSection_ = true;
        if (deletion) {
            tree_.removeSubtree(*rootHandle, *components);
            currentKey_ = nullptr;  // values listed under a deleted key are ignored
        } else {
            currentKey_ = &tree_.declare(*rootHandle, *components);
        }
    }

    // Reads a quoted text starting at `position` (just after the opening
    // quote); leaves `position` after the closing quote.
    Text readQuoted(std::wstring_view line, std::size_t& position) const {
        Text text;
        while (position < line.size()) {
            const wchar_t character = line[position++];
            if (character == L'"') return text;
            if (character != L'\\' || position == line.size()) {
                text.push_back(character);
                continue;
            }
            const wchar_t escaped = line[position++];
            switch (escaped) {
                case L'\\':
                case L'"':
                    text.push_back(escaped);
                    break;
                case L'n':
                    text.push_back(L'\n');
                    break;
                case L'r':
                    text.push_back(L'\r');
                    break;
                case L'0':
                    text.push_back(L'\0');
                    break;
                default:  // not an escape: both characters stand for themselves
                    text.push_back(L'\\');
                    text.push_back(escaped);
            }
        }
        fail(L"a quoted text is not closed");
    }

    void parseValueLine(std::wstring_view line) {
        if (!sawSection_) fail(L"a value comes before any key");
        std::size_t position = 1;
        const Text name = line.front() == L'@' ? Text() : readQuoted(line, position);
        const std::wstring_view afterName = trimmed(line.substr(position));
        if (!afterName.starts_with(L'=')) fail(L"the value name is not followed by \"=\"");
        const std::wstring_view data = trimmed(afterName.substr(1));

        if (data == L"-") {
            if (currentKey_ != nullptr) {
                const auto found = currentKey_->valueNamed(name);
                if (found != currentKey_->values.end()) currentKey_->values.erase(found);
            }
            return;
        }
        RegistryValue value{name, registryType::none, {}};
        if (data.starts_with(L'"')) {
            std::size_t dataPosition = 1;
            const Text text = readQuoted(data, dataPosition);
            if (dataPosition != data.size()) fail(L"unexpected text after the closing quote");
            value.type = registryType::string;
            value.data = stringData(text);
        } else if (hasPrefix(data, L"dword:")) {
            const auto number = parseHexNumber(data.substr(6), 8);
            if (!number) fail(L"a dword value needs one to eight hex digits");
            value.type = registryType::dword;
            for (int shift = 0; shift < 32; shift += 8) {
                value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
            }
        } else if (hasPrefix(data, L"hex")) {
            parseHexValue(data.substr(3), value);
        } else {
            fail(L"the value's data is of no known form");
        }
        store(std::move(value));
    }

    static bool hasPrefix(std::wstring_view text, std::wstring_view prefix) {
        return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
    }

    static std::vector<std::uint8_t> stringData(const Text& text) {
        auto data = utf16LeFromText(text);
        data.insert(data.end(), {0, 0});
        return data;
    }

    // `rest` follows "hex": either ":" or "(N):", then the bytes, possibly
    // continued over the following lines with a trailing "\".
    void parseHexValue(std::wstring_view rest, RegistryValue& value) {
        value.type = registryType::binary;
        if (rest.starts_with(L'(')) {
            const std::size_t close = rest.find(L')');
            const auto type = close == std::wstring_view::npos
                                  ? std::nullopt
                                  : parseHexNumber(rest.substr(1, close - 1), 8);
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
        std::vector<std::uint8_t> bytes;
        std::wstring_view remaining = bytesText;
        while (!trimmed(remaining).empty()) {
            const std::size_t comma = remaining.find(L',');
            const auto byte = parseHexNumber(trimmed(remaining.substr(0, comma)), 2);
            if (!byte) fail(L"hex data must be bytes of two hex digits separated by commas");
            bytes.push_back(static_cast<std::uint8_t>(*byte));
            if (comma == std::wstring_view::npos) break;
            remaining.remove_prefix(comma + 1);
        }
        // A REGEDIT4 script was imported through the code page, and Windows
        // stores the string types it sets that way as UTF-16.
        const bool stringType = value.type == registryType::string ||
                                value.type == registryType::expandString ||
                                value.type == registryType::multiString;
        if (narrowFormat_ && stringType) {
            bytes = utf16LeFromText(fromWindows1252(NarrowText(bytes.begin(), bytes.end())));
        }
        value.data = std::move(bytes);
    }

    void store(RegistryValue value) {
        if (currentKey_ == nullptr) return;
        const auto found = currentKey_->valueNamed(value.name);
        if (found == currentKey_->values.end()) {
            currentKey_->values.push_back(std::move(value));
        } else {
            found->type = value.type;  // the stored name keeps its case
            found->data = std::move(value.data);
        }
    }

    bool narrowFormat_;
    RegistryTree& tree_;
    std::vector<std::wstring_view> lines_;
    std::size_t next_ = 0;
    std::size_t lineNumber_ = 1;
    bool sawSection_ = false;
    KeyNode* currentKey_ = nullptr;
};

// ---------------------------------------------------------------------------
// Writing a .reg file, as regedit exports one.

Text escaped(std::wstring_view text) {
    Text result;
    for (const wchar_t character : text) {
        if (character == L'\\' || character == L'"') result.push_back(L'\\');
        result.push_back(character);
    }
    return result;
}

// A string that reads back to the same bytes, terminator included, and
// that regedit would show on one line.
std::optional<Text> asPlainString(const RegistryValue& value) {
    if (value.type != registryType::string || value.data.size() < 2 || value.data.size() % 2 != 0 ||
        value.data[value.data.size() - 2] != 0 || value.data.back() != 0) {
        return std::nullopt;
    }
    Text text = textFromUtf16Le({value.data.data(), value.data.size() - 2});
    if (text.find_first_of(std::wstring_view(L"\0\r\n", 3)) != Text::npos) return std::nullopt;
    auto roundTrip = utf16LeFromText(text);
    roundTrip.insert(roundTrip.end(), {0, 0});
    if (roundTrip != value.data) return std::nullopt;
    return text;
}

void appendValueLine(Text& out, const RegistryValue& value) {
    Text line = value.name.empty() ? Text(L"@") : L"\"" + escaped(value.name) + L"\"";
    line += L'=';
    if (const auto text = asPlainString(value)) {
        out += line + L"\"" + escaped(*text) + L"\"\r\n";
        return;
    }
    constexpr wchar_t digits[] = L"0123456789abcdef";
    if (value.type == registryType::dword && value.data.size() == 4) {
        line += L"dword:";
        for (int index = 3; index >= 0; --index) {
            line += digits[value.data[index] >> 4];
            line += digits[value.data[index] & 0xF];
        }
        out += line + L"\r\n";
        return;
    }
    line += L"hex";
    if (value.type != registryType::binary) {
        Text type;
        for (std::uint32_t rest = value.type; type.empty() || rest != 0; rest >>= 4) {
            type.insert(type.begin(), digits[rest & 0xF]);
        }
        line += L"(" + type + L")";
    }
    line += L':';
    // Long data wraps as regedit wraps it: a trailing "\" and two blanks.
    constexpr std::size_t wrapColumn = 76;
    for (std::size_t index = 0; index < value.data.size(); ++index) {
        if (index > 0) {
            line += L',';
            if (line.size() > wrapColumn) {
                out += line + L"\\\r\n";
                line = L"  ";
            }
        }
        line += digits[value.data[index] >> 4];
        line += digits[value.data[index] & 0xF];
    }
    out += line + L"\r\n";
}

std::string serialise(const RegistryTree& tree) {
    Text out(unicodeHeader);
    out += L"\r\n\r\n";
    for (const auto& section : tree.sectionsInOrder()) {
        out += L"[" + section.header + L"]\r\n";
        for (const auto& value : section.key->values) appendValueLine(out, value);
        out += L"\r\n";
    }
    std::string bytes = "\xFF\xFE";
    const auto encoded = utf16LeFromText(out);
    bytes.append(encoded.begin(), encoded.end());
    return bytes;
}

// ---------------------------------------------------------------------------
// Atomic replacement of the file.

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

[[noreturn]] void failToWrite(const std::filesystem::path& file, int error) {
    throw RaisedError(registryWriteFailedNumber, L"The registry could not be written to " +
                                                     fromWindows1252(file.filename().string()) +
                                                     L": " + fromWindows1252(std::strerror(error)) +
                                                     L".");
}

void writeAtomically(const std::filesystem::path& file, const std::string& bytes) {
    const std::filesystem::path folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) failToWrite(file, errno);
    TemporaryFile temporary(pattern);

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
    if (::rename(temporary.path().c_str(), file.c_str()) != 0) failToWrite(file, errno);
    temporary.keep();

    // Make the rename itself durable.
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (folderFd.get() >= 0) ::fsync(folderFd.get());
}

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    std::string bytes;
    std::array<char, 65536> chunk{};
    while (true) {
        const ssize_t count = ::read(fd.get(), chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;  // a folder, say, where the file should be
        if (count == 0) return bytes;
        bytes.append(chunk.data(), static_cast<std::size_t>(count));
    }
}

}  // namespace

// ---------------------------------------------------------------------------

RegistryStore::RegistryStore(std::filesystem::path file)
    : file_(std::move(file)), tree_(std::make_unique<RegistryTree>()) {}

RegistryStore::~RegistryStore() = default;
RegistryStore::RegistryStore(RegistryStore&&) noexcept = default;
RegistryStore& RegistryStore::operator=(RegistryStore&&) noexcept = default;

void RegistryStore::load() {
    tree_ = std::make_unique<RegistryTree>();
    malformed_ = false;
    const auto bytes = readWholeFile(file_);
    if (!bytes || bytes->empty()) return;
    try {
        const DecodedFile decoded = decodeFile(*bytes);
        RegFileParser(decoded, *tree_).parse();
    } catch (const MalformedLine& malformed) {
        tree_ = std::make_unique<RegistryTree>();
        malformed_ = true;
        throw RaisedError(registryCorruptNumber,
                          L"The registry file " + fromWindows1252(file_.filename().string()) +
                              L" is malformed at line " + std::to_wstring(malformed.lineNumber) +
                              L": " + malformed.reason + L".");
    }
}

const RegistryValue* RegistryStore::findValue(RegistryRoot root, const Text& subKey,
                                              const Text& valueName) const {
    const auto components = splitKeyPath(subKey);
    if (!components) return nullptr;
    KeyNode* key = tree_->find(static_cast<std::uint32_t>(root), *components);
    if (key == nullptr) return nullptr;
    const auto found = key->valueNamed(valueName);
    return found == key->values.end() ? nullptr : &*found;
}

bool RegistryStore::keyExists(RegistryRoot root, const Text& subKey) const {
    const auto components = splitKeyPath(subKey);
    return components && tree_->find(static_cast<std::uint32_t>(root), *components) != nullptr;
}

bool RegistryStore::deleteKeyTree(RegistryRoot root, const Text& subKey) {
    const auto components = splitKeyPath(subKey);
    return components && tree_->removeSubtree(static_cast<std::uint32_t>(root), *components);
}

bool RegistryStore::deleteValue(RegistryRoot root, const Text& subKey, const Text& valueName) {
    const auto components = splitKeyPath(subKey);
    if (!components) return false;
    KeyNode* key = tree_->find(static_cast<std::uint32_t>(root), *components);
    if (key == nullptr) return false;
    const auto found = key->valueNamed(valueName);
    if (found == key->values.end()) return false;
    key->values.erase(found);
    return true;
}

void RegistryStore::save() const {
    if (malformed_) return;
    writeAtomically(file_, serialise(*tree_));
}

}  // namespace stravik::portable
