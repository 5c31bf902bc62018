#include "platform/portable/portable_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

#include "platform/portable/registry_store.h"
#include "raised_error.h"
#include "stand_in_machine.h"

namespace stravik::portable {
namespace {

using stravik::testing::raisedBy;
using stravik::testing::StandInMachine;

constexpr std::string_view driveKey =
    R"(CLSID\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}\DriveLocation)";

class PortablePlatformTest : public ::testing::Test {
protected:
    void writeRegistry(std::string_view body) {
        machine.writeRegistry(std::string("Windows Registry Editor Version 5.00\n\n") +
                              std::string(body));
    }

    StandInMachine machine;
    std::istringstream input;
    std::ostringstream output;
    std::unique_ptr<PlatformServices> administrator =
        makePortablePlatform(machine.root(), true, input, output);
    std::unique_ptr<PlatformServices> ordinaryUser =
        makePortablePlatform(machine.root(), false, input, output);
};

// The DriveLocation key's default value as registry.reg holds it, and what
// reading it as the logic does gives: the status, the buffer of ten blanks
// it reads into, and the length it is told.
struct DriveValue {
    std::string stored;
    std::int32_t status;
    std::string buffer;
    std::uint32_t length;
};

class DriveValueTest : public PortablePlatformTest,
                       public ::testing::WithParamInterface<DriveValue> {};

TEST_P(DriveValueTest, ArrivesAsWindowsHandsItOut) {
    writeRegistry("[HKEY_CLASSES_ROOT\\" + std::string(driveKey) + "]\n" + GetParam().stored +
                  "\n");
    RegistryHandle key = 0;
    ASSERT_EQ(administrator->RegOpenKeyA(RegistryRoot::classesRoot, NarrowText(driveKey), key), 0);
    std::array<char, 10> buffer;
    buffer.fill(' ');
    std::uint32_t type = 0;
    std::uint32_t length = buffer.size();

    EXPECT_EQ(administrator->RegQueryValueExA(key, "", 0, type, buffer, length), GetParam().status);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), GetParam().buffer);
    EXPECT_EQ(length, GetParam().length);
    EXPECT_EQ(administrator->RegCloseKey(key), 0);
}

const std::string blanks(10, ' ');

INSTANTIATE_TEST_SUITE_P(
    Values, DriveValueTest,
    ::testing::Values(
        // Text in the narrow code page with its terminator, "?" for what it lacks.
        DriveValue{"@=\"é€Ā\"", 0, std::string("\xE9\x80?\0      ", 10), 4},
        // Nine characters and the terminator fill the buffer; one more does
        // not fit and leaves it untouched.
        DriveValue{"@=\"123456789\"", 0, std::string("123456789\0", 10), 10},
        DriveValue{"@=\"1234567890\"", 234, blanks, 11},
        // Other types byte for byte.
        DriveValue{"@=dword:00003a48", 0, std::string("H:\0\0      ", 10), 4},
        DriveValue{"\"Other\"=\"H:\"", 2, blanks, 10}));

TEST_F(PortablePlatformTest, HandlesAreForExistingKeysOnly) {
    writeRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{AE2426ED-27E8-43EA-A844-3621CB40BE0F}"
        "\\DriveLocation]\n@=\"H:\"\n");

    RegistryHandle key = 0;
    EXPECT_EQ(administrator->RegOpenKeyA(RegistryRoot::classesRoot, NarrowText(driveKey), key), 0);
    EXPECT_NE(key, 0u);
    EXPECT_EQ(administrator->RegCloseKey(key), 0);
    EXPECT_EQ(administrator->RegCloseKey(key), 6);

    RegistryHandle missing = 0;
    EXPECT_EQ(administrator->RegOpenKeyA(RegistryRoot::classesRoot, "CLSID\\{none}", missing), 2);
    EXPECT_EQ(missing, 0u);
    std::array<char, 10> buffer;
    buffer.fill(' ');
    std::uint32_t type = 0;
    std::uint32_t length = buffer.size();
    EXPECT_EQ(administrator->RegQueryValueExA(0, "", 0, type, buffer, length), 6);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), blanks);
}

// Only an administrator changes the machine's registry, and registry.reg
// is rewritten only when something goes.
TEST_F(PortablePlatformTest, DeletionsByAnAdministratorOnly) {
    writeRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\{X}]\n@=\"x\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\{X}\\Sub]\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared]\n\"a\"=dword:00000001\n\"b\"=dword:00000002\n");
    const std::string original = machine.registryBytes();

    EXPECT_EQ(ordinaryUser->isAdministrator(), 0);
    EXPECT_EQ(ordinaryUser->SHDeleteKeyA(RegistryRoot::classesRoot, "AppID\\{X}"), 5);
    EXPECT_EQ(ordinaryUser->SHDeleteKeyA(RegistryRoot::localMachine, "SOFTWARE\\Classes\\AppID"),
              5);
    EXPECT_EQ(ordinaryUser->SHDeleteValueA(RegistryRoot::localMachine, "SOFTWARE\\Shared", "a"), 5);
    EXPECT_NE(administrator->isAdministrator(), 0);
    EXPECT_EQ(administrator->SHDeleteKeyA(RegistryRoot::classesRoot, "AppID\\{missing}"), 2);
    EXPECT_EQ(administrator->SHDeleteValueA(RegistryRoot::localMachine, "SOFTWARE\\Shared", "c"),
              2);
    EXPECT_EQ(machine.registryBytes(), original);

    EXPECT_EQ(administrator->SHDeleteKeyA(RegistryRoot::classesRoot, "appid\\{x}"), 0);
    EXPECT_EQ(administrator->SHDeleteValueA(RegistryRoot::localMachine, "SOFTWARE\\Shared", "A"),
              0);
    RegistryStore store(machine.root() / "registry.reg");
    store.load();
    EXPECT_FALSE(store.keyExists(RegistryRoot::localMachine, L"SOFTWARE\\Classes\\AppID\\{X}"));
    EXPECT_TRUE(store.keyExists(RegistryRoot::localMachine, L"SOFTWARE\\Classes\\AppID"));
    EXPECT_EQ(store.findValue(RegistryRoot::localMachine, L"SOFTWARE\\Shared", L"a"), nullptr);
    EXPECT_NE(store.findValue(RegistryRoot::localMachine, L"SOFTWARE\\Shared", L"b"), nullptr);
}

TEST_F(PortablePlatformTest, MalformedRegistryRaisesAndIsNeverRewritten) {
    machine.writeRegistry(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n");
    const std::string original = machine.registryBytes();

    RegistryHandle key = 0;
    EXPECT_THROW(administrator->RegOpenKeyA(RegistryRoot::classesRoot, "CLSID", key), RaisedError);
    EXPECT_THROW(administrator->SHDeleteKeyA(RegistryRoot::localMachine, "SOFTWARE"), RaisedError);
    std::array<char, 144> buffer{};
    EXPECT_THROW(administrator->GetWindowsDirectoryA(buffer), RaisedError);
    EXPECT_EQ(machine.registryBytes(), original);
}

TEST_F(PortablePlatformTest, WindowsDirectoryIsTheStoredSystemRootWhenItFits) {
    const auto readDirectory = [&](std::string& text) {
        std::string buffer(144, ' ');
        const std::uint32_t length = administrator->GetWindowsDirectoryA(buffer);
        text = buffer;
        return length;
    };
    const auto storeSystemRoot = [&](const std::string& directory) {
        writeRegistry(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
            "\"SystemRoot\"=\"" +
            directory + "\"\n");
    };
    std::string buffer;

    EXPECT_EQ(readDirectory(buffer), 0u);
    EXPECT_EQ(buffer, std::string(144, ' '));

    storeSystemRoot("C:\\\\WINDOWS");
    EXPECT_EQ(readDirectory(buffer), 10u);
    EXPECT_EQ(buffer, std::string("C:\\WINDOWS\0", 11) + std::string(133, ' '));

    // 143 characters and the terminator fill the buffer; one more does not fit.
    const std::string longest = "C:\\\\" + std::string(140, 'd');
    storeSystemRoot(longest);
    EXPECT_EQ(readDirectory(buffer), 143u);
    EXPECT_EQ(buffer.back(), '\0');

    storeSystemRoot(longest + "d");
    EXPECT_EQ(readDirectory(buffer), 0u);
    EXPECT_EQ(buffer, std::string(144, ' '));
}

TEST_F(PortablePlatformTest, OnlyTheFileSystemComponentCanBeCreated) {
    EXPECT_NE(administrator->createObject(L"scripting.FILESYSTEMOBJECT"), nullptr);
    const ErrorInfo error = raisedBy([&] { administrator->createObject(L"Scripting.Dictionary"); });
    EXPECT_EQ(error.number, 429);
    EXPECT_EQ(error.description, L"ActiveX component can't create object");
}

}  // namespace
}  // namespace stravik::portable
