#pragma once

#include <memory>

#include "platform/platform_services.h"

namespace stravik::win32 {

// Creates the component named by `programmaticId` in process and binds to
// it late, by member name. Raises 429 when it cannot be created.
std::unique_ptr<FileSystemComponent> createFileSystemComponent(const Text& programmaticId);

}  // namespace stravik::win32
