#include "platform/portable/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "raised_error.h"

namespace stravik::portable {
namespace {

using stravik::testing::raisedBy;

constexpr auto HKCR = RegistryRoot::classesRoot;
constexpr auto HKLM = RegistryRoot::localMachine;
constexpr auto HKCU = static_cast<RegistryRoot>(0x80000001u);

using Bytes = std::vector<std::uint8_t>;

// UTF-16LE bytes built independently of the code under test.
std::string utf16le(std::u16string_view text, bool withBom = true) {
    std::string bytes = withBom ? "\xFF\xFE" : "";
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

Bytes stringData(std::u16string_view text) {
    const std::string bytes = utf16le(text, false) + std::string("\0\0", 2);
    return Bytes(bytes.begin(), bytes.end());
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path file() const { return folder_ / "registry.reg"; }

    void writeFile(const std::string& bytes) const {
        std::ofstream(file(), std::ios::binary) << bytes;
    }
    std::string fileBytes() const {
        std::ifstream stream(file(), std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }

    // A store loaded from `bytes`.
    RegistryStore loadedFile(const std::string& bytes) const {
        writeFile(bytes);
        RegistryStore store(file());
        store.load();
        return store;
    }
    // A store loaded from a UTF-8 file of `lines` after the header.
    RegistryStore loaded(const std::string& lines) const {
        return loadedFile("Windows Registry Editor Version 5.00\n\n" + lines);
    }

    // Saves `store`, then loads the result into a fresh store.
    RegistryStore rewritten(const RegistryStore& store) const {
        store.save();
        RegistryStore reloaded(file());
        reloaded.load();
        return reloaded;
    }

    std::filesystem::path folder_;
};

Bytes dataOf(const RegistryStore& store, RegistryRoot root, const Text& key, const Text& name) {
    const RegistryValue* value = store.findValue(root, key, name);
    return value == nullptr ? Bytes{} : value->data;
}

std::uint32_t typeOf(const RegistryStore& store, RegistryRoot root, const Text& key,
                     const Text& name) {
    const RegistryValue* value = store.findValue(root, key, name);
    return value == nullptr ? 0xFFFFFFFFu : value->type;
}

// --- Reading what regedit and reg export write -----------------------------

TEST_F(RegistryStoreTest, ReadsAUtf16ExportWithContinuedHexAndEscapes) {
    const RegistryStore store = loadedFile(utf16le(
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"; exported for the test\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n"
        u"@=\"the default\"\r\n"
        u"\"Path \\\"quoted\\\"\"=\"C:\\\\Program Files\\\\App\\\\\"\r\n"
        u"\"Flags\"=dword:0000002a\r\n"
        u"\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
        u"  2f\r\n"
        u"\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        u"\"Big\"=hex(b):ef,cd,ab,89,67,45,23,01\r\n"
        u"\"Caf\u00e9 \u20ac\"=\"\u00fcber\"\r\n"
        u"\r\n"));

    const Text key = L"SOFTWARE\\Vendor\\App";
    EXPECT_EQ(dataOf(store, HKLM, key, L""), stringData(u"the default"));
    EXPECT_EQ(dataOf(store, HKLM, key, L"Path \"quoted\""),
              stringData(u"C:\\Program Files\\App\\"));
    EXPECT_EQ(typeOf(store, HKLM, key, L"Flags"), registryType::dword);
    EXPECT_EQ(dataOf(store, HKLM, key, L"Flags"), (Bytes{0x2a, 0, 0, 0}));

    Bytes counting(0x30);
    for (std::size_t index = 0; index < counting.size(); ++index) counting[index] = index;
    EXPECT_EQ(typeOf(store, HKLM, key, L"Blob"), registryType::binary);
    EXPECT_EQ(dataOf(store, HKLM, key, L"Blob"), counting);

    EXPECT_EQ(typeOf(store, HKLM, key, L"Expand"), registryType::expandString);
    EXPECT_EQ(dataOf(store, HKLM, key, L"Expand"), stringData(u"%A%"));
    EXPECT_EQ(typeOf(store, HKLM, key, L"Multi"), registryType::multiString);
    EXPECT_EQ(typeOf(store, HKLM, key, L"Big"), 0xbu);
    EXPECT_EQ(dataOf(store, HKLM, key, L"Big"),
              (Bytes{0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01}));
    EXPECT_EQ(dataOf(store, HKLM, key, L"Caf\u00e9 \u20ac"), stringData(u"\u00fcber"));
}

TEST_F(RegistryStoreTest, ReadsRegedit4InTheNarrowCodePage) {
    // "Caf\xE9" is Café and \x80 the euro sign in Windows-1252; REGEDIT4's
    // string types were set through the code page and are stored as UTF-16.
    const RegistryStore store = loadedFile(
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xE9]\r\n"
        "\"Price\"=\"5 \x80\"\r\n"
        "\"Expand\"=hex(2):25,41,25,00\r\n"
        "\"Raw\"=hex:25,41\r\n");

    EXPECT_EQ(dataOf(store, HKLM, L"SOFTWARE\\Caf\u00e9", L"Price"), stringData(u"5 \u20ac"));
    EXPECT_EQ(dataOf(store, HKLM, L"SOFTWARE\\Caf\u00e9", L"Expand"), stringData(u"%A%"));
    EXPECT_EQ(dataOf(store, HKLM, L"SOFTWARE\\Caf\u00e9", L"Raw"), (Bytes{0x25, 0x41}));
}

// --- Keys and names ----------------------------------------------------------

TEST_F(RegistryStoreTest, NamesMatchWithoutRegardToCase) {
    RegistryStore store = loaded(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xC3\xA9\\Stra\xC3\x9F"
        "e]\n"
        "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n"
        "[hkey_local_machine\\software\\caf\xC3\xA9\\stra\xC3\x9F"
        "e]\n"
        "\"SYSTEMROOT\"=\"D:\\\\\"\n");

    // Set twice: the later data wins and the name keeps its first spelling.
    const RegistryValue* systemRoot =
        store.findValue(HKLM, L"software\\CAF\u00c9\\STRA\u00dfE", L"systemroot");
    ASSERT_NE(systemRoot, nullptr);
    EXPECT_EQ(systemRoot->name, L"SystemRoot");
    EXPECT_EQ(systemRoot->data, stringData(u"D:\\"));
    EXPECT_TRUE(store.keyExists(static_cast<RegistryRoot>(0x80000002u), L"SoFtWaRe"));
    EXPECT_FALSE(store.keyExists(HKLM, L"SOFTWARE\\Cafe"));
    EXPECT_TRUE(store.deleteValue(HKLM, L"SOFTWARE\\caf\u00e9\\stra\u00dfe", L"SYSTEMROOT"));
    EXPECT_EQ(store.findValue(HKLM, L"SOFTWARE\\Caf\u00e9\\Stra\u00dfe", L"SystemRoot"), nullptr);
}

// Only "\" separates keys, and a trailing one is ignored. Deleting a key
// takes its subtree and nothing beside; HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes are one tree.
TEST_F(RegistryStoreTest, KeyPathsAndDeletions) {
    RegistryStore store = loaded(
        "[HKEY_LOCAL_MACHINE\\ModuleUsage\\C:/WINDOWS/Downloaded Program Files/A.OCX]\n"
        "\".Owner\"=\"x\"\n"
        "[HKEY_LOCAL_MACHINE\\SharedDLLs]\n"
        "\"C:\\\\WINDOWS\\\\A.OCX\"=dword:00000001\n"
        "\"A\\\\CONFLICT.1\\\\X\"=dword:00000001\n"
        "\"A\\\\CONFLICT.10\\\\X\"=dword:00000001\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{One}\\DriveLocation]\n"
        "@=\"H:\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\{Two}]\n"
        "\"x\"=\"y\"\n"
        "[HKEY_LOCAL_MACHINE\\MU\\CONFLICT.1]\n"
        "[HKEY_LOCAL_MACHINE\\MU\\CONFLICT.1\\Deep\\Deeper]\n"
        "\"v\"=\"1\"\n"
        "[HKEY_LOCAL_MACHINE\\MU\\CONFLICT.10]\n"
        "[HKEY_LOCAL_MACHINE\\MU\\CONFLICT.1 copy]\n"
        "[HKEY_LOCAL_MACHINE\\MU\\Sibling]\n"
        "\"v\"=\"1\"\n");

    // Only "\" separates keys; one trailing separator is ignored.
    EXPECT_FALSE(store.keyExists(HKLM, L"ModuleUsage\\C:"));
    EXPECT_FALSE(store.keyExists(HKLM, L"\\ModuleUsage"));
    EXPECT_FALSE(
        store.keyExists(HKLM, L"ModuleUsage\\\\C:/WINDOWS/Downloaded Program Files/A.OCX"));
    EXPECT_TRUE(store.deleteValue(HKLM, L"SharedDLLs\\", L"C:\\WINDOWS\\A.OCX"));
    EXPECT_TRUE(
        store.deleteKeyTree(HKLM, L"ModuleUsage\\C:/WINDOWS/Downloaded Program Files/A.OCX\\"));

    // A deletion takes the subtree, through either root, and nothing beside.
    EXPECT_TRUE(store.deleteKeyTree(HKLM, L"MU\\conflict.1"));
    EXPECT_TRUE(store.deleteKeyTree(HKLM, L"SOFTWARE\\Classes\\CLSID\\{One}"));
    EXPECT_TRUE(store.deleteKeyTree(HKCR, L"AppID\\{Two}"));
    EXPECT_TRUE(store.deleteValue(HKLM, L"SharedDLLs", L"A\\CONFLICT.1\\X"));
    for (const Text gone : {L"MU\\CONFLICT.1\\Deep\\Deeper", L"SOFTWARE\\Classes\\CLSID\\{One}",
                            L"SOFTWARE\\Classes\\AppID\\{Two}"}) {
        EXPECT_FALSE(store.keyExists(HKLM, gone));
        EXPECT_FALSE(store.deleteKeyTree(HKLM, gone));
    }
    for (const Text kept : {L"ModuleUsage", L"MU\\CONFLICT.10", L"MU\\CONFLICT.1 copy",
                            L"MU\\Sibling", L"SOFTWARE\\Classes"}) {
        EXPECT_TRUE(store.keyExists(HKLM, kept)) << std::string(kept.begin(), kept.end());
    }
    EXPECT_FALSE(store.deleteValue(HKLM, L"SharedDLLs", L"A\\CONFLICT.1\\X"));
    EXPECT_NE(store.findValue(HKLM, L"SharedDLLs", L"A\\CONFLICT.10\\X"), nullptr);
    EXPECT_FALSE(store.deleteValue(HKLM, L"NoSuchKey", L"A\\CONFLICT.10\\X"));
    // A root is never deleted.
    EXPECT_FALSE(store.deleteKeyTree(HKLM, L""));
    EXPECT_FALSE(store.deleteKeyTree(HKCR, L""));
}

// --- Rewriting -----------------------------------------------------------------

// Every key below a root is a section, in the order the keys were
// created, one line per value; HKEY_CLASSES_ROOT is written as the keys it
// shows, and a parent emptied by a deletion stays.
TEST_F(RegistryStoreTest, RewritesAsRegeditExports) {
    RegistryStore store = loaded(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n"
        "@=\"default\"\n"
        "\"Quote\\\"d\"=\"C:\\\\Path \\\"x\\\"\"\n"
        "\"Count\"=dword:2A\n"
        "\"Odd\"=hex(5):01,02,03\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n"
        "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
        "[HKEY_LOCAL_MACHINE\\Zeta\\Only Child]\n"
        "\"v\"=\"1\"\n"
        "[HKEY_CURRENT_USER\\Alpha]\n"
        "\"MixedCase\"=\"1\"\n"
        "[HKEY_CURRENT_USER\\ALPHA\\Inner]\n");
    ASSERT_TRUE(store.deleteKeyTree(HKLM, L"Zeta\\Only Child"));
    store.save();

    EXPECT_EQ(fileBytes(),
              utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
                      u"@=\"default\"\r\n"
                      u"\"Quote\\\"d\"=\"C:\\\\Path \\\"x\\\"\"\r\n"
                      u"\"Count\"=dword:0000002a\r\n"
                      u"\"Odd\"=hex(5):01,02,03\r\n"
                      u"\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
                      u"14,15,16,17\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID]\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{X}]\r\n"
                      u"\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\Zeta]\r\n\r\n"
                      u"[HKEY_CURRENT_USER\\Alpha]\r\n"
                      u"\"MixedCase\"=\"1\"\r\n\r\n"
                      u"[HKEY_CURRENT_USER\\Alpha\\Inner]\r\n\r\n"));
}

TEST_F(RegistryStoreTest, RewriteKeepsOddDataByteForByte) {
    RegistryStore store = loaded(
        "[HKEY_CURRENT_USER\\Odd]\n"
        "\"None\"=hex(0):\n"
        "\"Empty binary\"=hex:\n"
        "\"Unterminated\"=hex(1):41,00,42,00\n"
        "\"Odd length\"=hex(1):41,00,00\n"
        "\"Embedded NUL\"=hex(1):41,00,00,00,42,00,00,00\n"
        "\"Line break\"=hex(1):41,00,0a,00,00,00\n"
        "\"Lone surrogate\"=hex(1):00,d8,00,00\n"
        "\"Astral\"=hex(1):3d,d8,00,de,00,00\n"
        "\"Short dword\"=hex(4):01,02,03\n"
        "\"Big endian\"=hex(5):00,00,00,01\n"
        "\"Link\"=hex(6):41,00\n"
        "\"Unknown\"=hex(ffff0123):ab\n"
        "\"\"=\"an empty name is the default\"\n"
        "[HKEY_CURRENT_USER\\Odd\\Empty]\n"
        "[HKEY_CURRENT_USER\\Odd\\Empty\\Deeper Empty]\n");
    const std::vector<Text> names = {L"None",
                                     L"Empty binary",
                                     L"Unterminated",
                                     L"Odd length",
                                     L"Embedded NUL",
                                     L"Line break",
                                     L"Lone surrogate",
                                     L"Astral",
                                     L"Short dword",
                                     L"Big endian",
                                     L"Link",
                                     L"Unknown",
                                     L""};

    const RegistryStore reloaded = rewritten(store);
    const std::string firstRewrite = fileBytes();
    for (const Text& name : names) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        ASSERT_NE(reloaded.findValue(HKCU, L"Odd", name), nullptr);
        EXPECT_EQ(typeOf(reloaded, HKCU, L"Odd", name), typeOf(store, HKCU, L"Odd", name));
        EXPECT_EQ(dataOf(reloaded, HKCU, L"Odd", name), dataOf(store, HKCU, L"Odd", name));
    }
    EXPECT_EQ(typeOf(reloaded, HKCU, L"Odd", L"Unknown"), 0xffff0123u);
    EXPECT_TRUE(reloaded.keyExists(HKCU, L"Odd\\Empty\\Deeper Empty"));

    reloaded.save();
    EXPECT_EQ(fileBytes(), firstRewrite);
}

// --- The file --------------------------------------------------------------------

TEST_F(RegistryStoreTest, MissingOrUnreadableFileIsAnEmptyRegistry) {
    RegistryStore missing(file());
    missing.load();
    EXPECT_FALSE(missing.keyExists(HKLM, L"SOFTWARE"));
    EXPECT_FALSE(missing.deleteKeyTree(HKLM, L"SOFTWARE"));
    EXPECT_FALSE(std::filesystem::exists(file()));

    std::filesystem::create_directory(file());
    RegistryStore unreadable(file());
    EXPECT_NO_THROW(unreadable.load());
    EXPECT_FALSE(unreadable.keyExists(HKLM, L"SOFTWARE"));
}

struct MalformedFile {
    std::string bytes;
    int line;  // the line the error names
};

class MalformedRegistryTest : public RegistryStoreTest,
                              public ::testing::WithParamInterface<MalformedFile> {};

TEST_P(MalformedRegistryTest, IsReportedWithItsLineAndNeverRewritten) {
    const auto& [bytes, line] = GetParam();
    writeFile(bytes);
    RegistryStore store(file());

    const ErrorInfo error = raisedBy([&] { store.load(); });
    EXPECT_EQ(error.number, 1015);
    EXPECT_NE(error.description.find(L"registry.reg is malformed at line " + std::to_wstring(line) +
                                     L":"),
              Text::npos)
        << std::string(error.description.begin(), error.description.end());
    EXPECT_FALSE(error.description.ends_with(L"."));  // the report adds its own
    EXPECT_FALSE(store.keyExists(HKLM, L"A"));
    store.save();
    EXPECT_EQ(fileBytes(), bytes);
}

const std::string keyA = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n";

INSTANTIATE_TEST_SUITE_P(
    Shapes, MalformedRegistryTest,
    ::testing::Values(
        MalformedFile{"Windows Registry Editor Version 4.00\n", 1},
        MalformedFile{"[HKEY_LOCAL_MACHINE\\A]\n", 1},
        MalformedFile{"Windows Registry Editor Version 5.00\n\"v\"=\"before any key\"\n", 2},
        MalformedFile{keyA + "\"v\"=hex:0g\n", 4},
        MalformedFile{keyA + "\"v\"=hex:00,\\\n  100\n", 4},
        MalformedFile{keyA + "\"v\"=dword:123456789\n", 4},
        MalformedFile{keyA + "\"unterminated=\"x\"\n", 4},
        MalformedFile{keyA + "\"v\"=\"x\" trailing\n", 4}, MalformedFile{keyA + "\"v\" \"x\"\n", 4},
        MalformedFile{keyA + "\n\ngarbage\n", 6}, MalformedFile{keyA + "[HKEY_USERS\\A]\n", 4},
        MalformedFile{keyA + "[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 4},
        MalformedFile{keyA + "[HKEY_LOCAL_MACHINE\\A\n", 4}, MalformedFile{keyA + "\"v\"=-\n", 4},
        // Text not valid in its encoding: a Latin-1 byte, a lead byte
        // no UTF-8 sequence starts with, an unpaired UTF-16 surrogate and
        // half a UTF-16 character.
        MalformedFile{keyA + "\"caf\xE9\"=\"x\"\n", 4},
        MalformedFile{keyA + "\n\"v\"=\"a\xF5\x80\x80\"\n", 5},
        MalformedFile{utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE"
                              u"\\A]\r\n\"v\"=\"\xD800\"\r\n"),
                      4},
        MalformedFile{utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE"
                              u"\\A]") +
                          "\x5D",
                      3}));

TEST_F(RegistryStoreTest, SaveReplacesTheFileAtomicallyKeepingItsPermissions) {
    RegistryStore store = loaded("[HKEY_LOCAL_MACHINE\\A]\n[HKEY_LOCAL_MACHINE\\B]\n");
    ASSERT_EQ(::chmod(file().c_str(), 0640), 0);
    ASSERT_TRUE(store.deleteKeyTree(HKLM, L"A"));
    store.save();

    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        entries.push_back(entry.path().filename());
    }
    EXPECT_EQ(entries, std::vector<std::filesystem::path>{"registry.reg"});
    struct stat status {};
    ASSERT_EQ(::stat(file().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);

    RegistryStore reloaded(file());
    reloaded.load();
    EXPECT_FALSE(reloaded.keyExists(HKLM, L"A"));
    EXPECT_TRUE(reloaded.keyExists(HKLM, L"B"));
}

TEST_F(RegistryStoreTest, FailedSaveRaisesAndLeavesNoTemporaryFile) {
    RegistryStore store(folder_ / "missing folder" / "registry.reg");
    EXPECT_EQ(raisedBy([&] { store.save(); }).number, 1016);
    EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

// --- UTF-16LE as the registry stores strings -------------------------------------

TEST(RegistryUtf16, KeepsEveryCharacterAndPairsSurrogates) {
    const Text text = L"A\u00e9\u20ac" + Text(1, L'\0') + L"\U0001F600";
    const Bytes encoded = utf16LeFromText(text);
    EXPECT_EQ(encoded, (Bytes{0x41, 0, 0xe9, 0, 0xac, 0x20, 0, 0, 0x3d, 0xd8, 0x00, 0xde}));
    EXPECT_EQ(textFromUtf16Le(encoded), text);

    // An unpaired surrogate and a trailing odd byte.
    const Text lone = textFromUtf16Le(Bytes{0x00, 0xd8, 0x41, 0x00, 0x42});
    EXPECT_EQ(lone.size(), 2u);
    EXPECT_EQ(static_cast<std::uint32_t>(lone[0]), 0xD800u);
    EXPECT_EQ(utf16LeFromText(lone), (Bytes{0x00, 0xd8, 0x41, 0x00}));
}

}  // namespace
}  // namespace stravik::portable
