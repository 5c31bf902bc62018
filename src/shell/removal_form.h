#pragma once

#include <memory>

#include "identifiers/target_identifiers.h"
#include "platform/platform_services.h"

namespace stravik {

// The tool's one window. It holds all state and all operations; the
// platform's window layer creates it and delivers its events.
class RemovalForm {
public:
    explicit RemovalForm(PlatformServices& platform);

    RemovalForm(const RemovalForm&) = delete;
    RemovalForm& operator=(const RemovalForm&) = delete;

    // Public operations.
    Text getDriveLocation();
    Text getDriveLocationFromRegistry();
    void clearRegistry();

    // Events, delivered by the window layer.
    void btnExitClick();
    void btnRemoveClick();
    void load();
    void terminate();

    // State, read by the window layer and by tests.
    const Text& installDrive() const { return installDrive_; }
    const Text& windowsDirectory() const { return windowsDirectory_; }
    bool hasFileSystem() const { return fileSystem_ != nullptr; }

private:
    void reportError(const ErrorInfo& error);
    void discoverLocations();
    FileSystemComponent& requireFileSystem();

    // Runs `steps`; at the first raised error reports it and returns. Any
    // other exception is reported as an internal error.
    template <typename Steps>
    void guarded(Steps&& steps);

    PlatformServices& platform_;
    Text installDrive_;
    Text windowsDirectory_;
    std::unique_ptr<FileSystemComponent> fileSystem_;
};

// "Error #" + sign position + digits + ": " + description + "."; an empty
// description is replaced as describedError says.
Text formatErrorMessage(const ErrorInfo& error);

// Removes the space character, and only it, from both ends.
Text trimBlanks(const Text& text);

}  // namespace stravik
