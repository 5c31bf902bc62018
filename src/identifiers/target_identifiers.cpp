#include "identifiers/target_identifiers.h"

#include <algorithm>

namespace stravik {

Text templateFolder(const Text& installDrive) {
    return installDrive + Text(TargetIdentifiers::templateFolderTail);
}

Text downloadDirectory(const Text& windowsDirectory) {
    return windowsDirectory + Text(TargetIdentifiers::downloadFolderTail);
}

Text downloadDirectorySlashed(const Text& windowsDirectory) {
    Text slashed = downloadDirectory(windowsDirectory);
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    return slashed;
}

}  // namespace stravik
