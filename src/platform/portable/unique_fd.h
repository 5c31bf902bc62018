#pragma once

#include <unistd.h>

#include "platform/unique_any.h"

namespace stravik::portable {

// A file descriptor, closed with its owner; -1 is none.
using UniqueFd = UniqueAny<int, &::close, -1>;

}  // namespace stravik::portable
