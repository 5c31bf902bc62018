// The real program's registry clean-up on a stand-in machine whose
// registry.reg holds every record a Halvoran installation leaves, next to
// neighbours that look alike and must survive untouched.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/portable/registry_store.h"
#include "stand_in_machine.h"

namespace stravik::testing {
namespace {

using portable::RegistryStore;
using portable::RegistryValue;

constexpr auto HKCR = RegistryRoot::classesRoot;
constexpr auto HKLM = RegistryRoot::localMachine;
constexpr auto HKCU = static_cast<RegistryRoot>(0x80000001u);

const std::string classId = "{AE2426ED-27E8-43EA-A844-3621CB40BE0F}";
const std::string otherClassId = "{00000000-1111-2222-3333-444444444444}";
const std::string typeLibrary = "TypeLib\\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}";
const std::string controlFile = "QuorwenDocumentAutomation.OCX";
const std::string moduleUsage = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
const std::string sharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string distributionUnits =
    "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";
const std::string slashedDownloads = "C:/WINDOWS/Downloaded Program Files/";
const std::string downloads = "C:\\WINDOWS\\Downloaded Program Files\\";

// A key, or one value of it when `value` is set.
struct Place {
    RegistryRoot root;
    std::string key;
    std::optional<std::string> value;
};

std::string regEscaped(const std::string& text) {
    std::string result;
    for (const char character : text) {
        if (character == '\\' || character == '"') result.push_back('\\');
        result.push_back(character);
    }
    return result;
}

Text wide(const std::string& ascii) { return Text(ascii.begin(), ascii.end()); }

bool present(const RegistryStore& store, const Place& place) {
    return place.value ? store.findValue(place.root, wide(place.key), wide(*place.value)) != nullptr
                       : store.keyExists(place.root, wide(place.key));
}

std::string describe(const Place& place) {
    return place.key + (place.value ? " : " + *place.value : "");
}

// The 27 distinct entries the clean-up removes. The class registrations are
// spelled through either root and in either case: they are one tree.
std::vector<Place> targets() {
    std::vector<Place> places = {
        {HKCR, "AppID\\" + classId, {}},
        {HKLM, "SOFTWARE\\Classes\\clsid\\{ae2426ed-27e8-43ea-a844-3621cb40be0f}", {}},
        {HKCR, controlFile, {}},
        {HKLM, "SOFTWARE\\Classes\\" + typeLibrary + "\\2.0", {}},
        {HKLM, distributionUnits + classId, {}},
        {HKLM, moduleUsage + slashedDownloads + controlFile, {}},
        {HKLM, sharedDlls, downloads + controlFile},
    };
    for (int n = 1; n <= 10; ++n) {
        const std::string conflict = "CONFLICT." + std::to_string(n);
        places.push_back({HKLM, moduleUsage + slashedDownloads + conflict + "/" + controlFile, {}});
        places.push_back({HKLM, sharedDlls, downloads + conflict + "\\" + controlFile});
    }
    return places;
}

std::vector<Place> neighbours() {
    return {
        {HKLM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot"},
        {HKCR, "AppID\\" + controlFile, "AppID"},
        {HKCR, "CLSID\\" + classId + ".bak", ""},
        {HKCR, "CLSID\\" + otherClassId, ""},
        {HKCR, "CLSID\\" + otherClassId, "Categories"},
        {HKCR, controlFile + ".1", ""},
        {HKCR, typeLibrary + "\\1.0", ""},
        {HKCR, typeLibrary + "\\2.01", ""},
        {HKLM, distributionUnits + otherClassId, "SystemComponent"},
        {HKLM, moduleUsage + slashedDownloads + "CONFLICT.0/" + controlFile, ".Owner"},
        {HKLM, moduleUsage + slashedDownloads + "CONFLICT.11/" + controlFile, ".Owner"},
        {HKLM, moduleUsage + "C:/WINDOWS/system32/comctl32.ocx", ".Owner"},
        {HKLM, moduleUsage + "C:/WINNT/Downloaded Program Files/" + controlFile, ".Owner"},
        {HKLM, moduleUsage + "C:\\WINDOWS\\Downloaded Program Files\\" + controlFile, ".Owner"},
        {HKLM, sharedDlls, downloads + "CONFLICT.0\\" + controlFile},
        {HKLM, sharedDlls, downloads + "CONFLICT.11\\" + controlFile},
        {HKLM, sharedDlls, downloads + "CONFLICT.1\\Other.ocx"},
        {HKLM, sharedDlls, "C:\\WINDOWS\\system32\\comctl32.ocx"},
        {HKLM, "SOFTWARE\\Vendor\\Odd", "Nothing"},
        {HKLM, "SOFTWARE\\Vendor\\Odd", "Quad"},
        {HKLM, "SOFTWARE\\Vendor\\Odd", "Unknown"},
        {HKLM, "SOFTWARE\\Vendor\\Empty", {}},
        {HKCU, "Software\\Classes\\CLSID\\" + classId, ""},
        {HKCU, moduleUsage + slashedDownloads + controlFile, ".Owner"},
    };
}

std::string seededRegistry() {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    const auto section = [&](const std::string& path, const std::string& values = "") {
        text += "[" + path + "]\r\n" + values + "\r\n";
    };
    const auto owner = std::string("\".Owner\"=\"") + classId + "\"\r\n";
    const auto counted = [](const std::string& name, int count) {
        return "\"" + regEscaped(name) + "\"=dword:0000000" + std::to_string(count) + "\r\n";
    };

    section("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
            "\"SystemRoot\"=\"C:\\\\WINDOWS\"\r\n");
    section("HKEY_CLASSES_ROOT\\AppID\\" + classId, "@=\"QuorwenDocumentAutomation\"\r\n");
    section("HKEY_CLASSES_ROOT\\AppID\\" + controlFile, "\"AppID\"=\"" + classId + "\"\r\n");
    section("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\clsid\\{ae2426ed-27e8-43ea-a844-3621cb40be0f}",
            "@=\"Quorwen Document Automation\"\r\n");
    section("HKEY_CLASSES_ROOT\\CLSID\\" + classId + "\\DriveLocation", "@=\"H:\"\r\n");
    section("HKEY_CLASSES_ROOT\\CLSID\\" + classId + "\\InprocServer32",
            "@=\"" + regEscaped(downloads + controlFile) + "\"\r\n" +
                "\"ThreadingModel\"=\"Apartment\"\r\n");
    section("HKEY_CLASSES_ROOT\\CLSID\\" + classId + ".bak", "@=\"a copy, not the control\"\r\n");
    section("HKEY_CLASSES_ROOT\\CLSID\\" + otherClassId,
            "@=\"Another control\"\r\n"
            "\"Categories\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n");
    section("HKEY_CLASSES_ROOT\\" + controlFile, "@=\"Quorwen\"\r\n");
    section("HKEY_CLASSES_ROOT\\" + controlFile + "\\CLSID", "@=\"" + classId + "\"\r\n");
    section("HKEY_CLASSES_ROOT\\" + controlFile + ".1", "@=\"the next version\"\r\n");
    section("HKEY_CLASSES_ROOT\\" + typeLibrary + "\\1.0", "@=\"Quorwen 1.0\"\r\n");
    section("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + typeLibrary + "\\2.0",
            "@=\"Quorwen 2.0\"\r\n");
    section("HKEY_CLASSES_ROOT\\" + typeLibrary + "\\2.0\\0\\win32",
            "@=\"" + regEscaped(downloads + controlFile) + "\"\r\n");
    section("HKEY_CLASSES_ROOT\\" + typeLibrary + "\\2.01", "@=\"not version 2.0\"\r\n");
    section("HKEY_LOCAL_MACHINE\\" + distributionUnits + classId,
            "\"SystemComponent\"=dword:00000000\r\n");
    section("HKEY_LOCAL_MACHINE\\" + distributionUnits + classId + "\\Contains\\Files",
            "\"" + regEscaped(downloads + controlFile) + "\"=\"\"\r\n");
    section("HKEY_LOCAL_MACHINE\\" + distributionUnits + otherClassId,
            "\"SystemComponent\"=dword:00000001\r\n");

    section("HKEY_LOCAL_MACHINE\\" + moduleUsage + slashedDownloads + controlFile, owner);
    for (const int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) {
        section("HKEY_LOCAL_MACHINE\\" + moduleUsage + slashedDownloads + "CONFLICT." +
                    std::to_string(n) + "/" + controlFile,
                owner);
    }
    section("HKEY_LOCAL_MACHINE\\" + moduleUsage + "C:/WINDOWS/system32/comctl32.ocx",
            "\".Owner\"=\"comctl\"\r\n");
    section(
        "HKEY_LOCAL_MACHINE\\" + moduleUsage + "C:/WINNT/Downloaded Program Files/" + controlFile,
        owner);
    section("HKEY_LOCAL_MACHINE\\" + moduleUsage + "C:\\WINDOWS\\Downloaded Program Files\\" +
                controlFile,
            owner);

    std::string shared = counted(downloads + controlFile, 1);
    for (int n = 0; n <= 11; ++n) {
        shared += counted(downloads + "CONFLICT." + std::to_string(n) + "\\" + controlFile, 1);
    }
    shared += counted(downloads + "CONFLICT.1\\Other.ocx", 2);
    shared += counted("C:\\WINDOWS\\system32\\comctl32.ocx", 3);
    section("HKEY_LOCAL_MACHINE\\" + sharedDlls, shared);

    section("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Odd",
            "\"Nothing\"=hex(0):\r\n"
            "\"Quad\"=hex(b):ef,cd,ab,89,67,45,23,01\r\n"
            "\"Unknown\"=hex(4d2):00,ff,\\\r\n  7f\r\n");
    section("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Empty");
    section("HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\" + classId, "@=\"per user\"\r\n");
    section("HKEY_CURRENT_USER\\" + moduleUsage + slashedDownloads + controlFile, owner);
    return text;
}

class RegistryCleanupProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine.writeRegistryUtf16(seededRegistry());
        // The clean-up runs only once the template folder has been handled.
        machine.createFile(R"(H:\Halvoran\template\Letter.dotx)");
        before.load();
        for (const Place& place : targets()) {
            ASSERT_TRUE(present(before, place)) << "not seeded: " << describe(place);
        }
        for (const Place& place : neighbours()) {
            ASSERT_TRUE(present(before, place)) << "not seeded: " << describe(place);
        }
    }

    RegistryStore registryNow() const {
        RegistryStore store(machine.root() / "registry.reg");
        store.load();
        return store;
    }

    void expectNeighboursAsSeeded(const RegistryStore& after) const {
        for (const Place& place : neighbours()) {
            SCOPED_TRACE(describe(place));
            ASSERT_TRUE(present(after, place));
            if (!place.value) continue;
            const RegistryValue* seeded =
                before.findValue(place.root, wide(place.key), wide(*place.value));
            const RegistryValue* kept =
                after.findValue(place.root, wide(place.key), wide(*place.value));
            EXPECT_EQ(kept->type, seeded->type);
            EXPECT_EQ(kept->data, seeded->data);
        }
    }

    StandInMachine machine;
    RegistryStore before{machine.root() / "registry.reg"};
};

constexpr std::string_view removeThenExit = "r\n\ne\n";
const std::vector<std::string> onlyFinished = {"Finished removing Halvoran OCX files!"};

TEST_F(RegistryCleanupProgramTest, RemovesEveryRecordAndKeepsEveryNeighbour) {
    const ProgramRun run = machine.run(removeThenExit);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.messages(), onlyFinished);

    const RegistryStore after = registryNow();
    for (const Place& place : targets()) {
        EXPECT_FALSE(present(after, place)) << "left behind: " << describe(place);
    }
    // The class key went as a whole, with the drive the program read at start.
    EXPECT_FALSE(after.keyExists(HKCR, wide("CLSID\\" + classId + "\\DriveLocation")));
    EXPECT_FALSE(after.keyExists(HKLM, wide(distributionUnits + classId + "\\Contains\\Files")));
    EXPECT_TRUE(after.keyExists(HKCR, wide(typeLibrary)));
    EXPECT_TRUE(after.keyExists(HKLM, wide(moduleUsage)));
    expectNeighboursAsSeeded(after);
}

TEST_F(RegistryCleanupProgramTest, SecondRunChangesNothing) {
    machine.run(removeThenExit);
    const std::string afterFirstRun = machine.registryBytes();

    // Without the class key the drive falls back to that of the Windows
    // directory, where a template folder must exist for the clean-up to run.
    machine.createFolder(R"(C:\Halvoran\template)");
    const ProgramRun second = machine.run(removeThenExit);
    EXPECT_EQ(second.messages(), onlyFinished);
    EXPECT_EQ(machine.registryBytes(), afterFirstRun);
}

TEST_F(RegistryCleanupProgramTest, OrdinaryUserLeavesTheMachineRegistryAlone) {
    if (!StandInMachine::canRunUnprivileged()) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    const std::string seeded = machine.registryBytes();
    const ProgramRun run = machine.run(removeThenExit, User::unprivileged);
    EXPECT_EQ(run.messages(), onlyFinished);
    EXPECT_EQ(machine.registryBytes(), seeded);
}

}  // namespace
}  // namespace stravik::testing
