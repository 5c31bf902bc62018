#pragma once

// What the Windows platform's tests need of the machine beneath them: under
// Wine, the Unix host, whose processes Wine's share checks do not bind and
// which can make names and links that Windows cannot; everywhere,
// temporary folders and plain files.

#include <functional>
#include <string>

#include "platform/platform_services.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32::host {

bool underWine();

// `windowsPath` as the Unix host names it, quoted for its shell (test paths
// hold no single quote). Under Wine only.
std::string shellQuoted(const Text& windowsPath);

// Runs `script` with the host's /bin/sh and waits until `done` holds, for
// ten seconds at most: Wine hands no exit status back for a Unix program.
// Under Wine only.
bool runShell(const std::string& script, const std::function<bool()>& done);

DWORD attributesOf(const Text& path);
bool exists(const Text& path);

// An empty file, made through "\\?\", which lifts the limit of 260
// characters.
bool makeFile(const Text& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL);

// A new folder in the temporary folder, removed with everything in it at
// the end (under Wine from the host, so that names Windows cannot handle
// go too).
class TemporaryFolder {
public:
    explicit TemporaryFolder(const Text& prefix);
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    // Without a closing separator; empty when it could not be made.
    const Text& path() const { return path_; }

private:
    Text path_;
};

}  // namespace stravik::win32::host
