#pragma once

#include <string>
#include <string_view>

namespace stravik {

using Text = std::wstring;

// The fixed names of everything the tool removes.
struct TargetIdentifiers {
    static constexpr std::wstring_view classIdentifier = L"{AE2426ED-27E8-43EA-A844-3621CB40BE0F}";
    static constexpr std::wstring_view typeLibraryKey =
        L"TypeLib\\{E297E62B-65F2-4800-B9CC-357FE58AAA6D}\\2.0";
    static constexpr std::wstring_view controlFileName = L"QuorwenDocumentAutomation.OCX";
    static constexpr std::wstring_view driveSubkey = L"\\DriveLocation";
    static constexpr std::wstring_view templateFolderTail = L":\\Halvoran\\template\\";
    static constexpr std::wstring_view downloadFolderTail = L"\\Downloaded Program Files\\";
    static constexpr std::wstring_view firstTemplateFileTail = L"\\Halvoran.dotm";
    static constexpr std::wstring_view secondTemplateFileTail = L"\\Halvoran.dot";
    static constexpr std::wstring_view conflictFolderPrefix = L"CONFLICT.";
};

// Derived paths: plain concatenation, no separator added or removed, so a
// Windows directory at a drive root ("C:\") yields a doubled separator.
Text templateFolder(const Text& installDrive);
Text downloadDirectory(const Text& windowsDirectory);
Text downloadDirectorySlashed(const Text& windowsDirectory);

}  // namespace stravik
