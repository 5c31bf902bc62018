#pragma once

#include "platform/platform_services.h"

namespace stravik::testing {

// What `call` raised; number 0 when it raised nothing.
inline ErrorInfo raisedBy(auto&& call) {
    try {
        call();
    } catch (const RaisedError& error) {
        return error.info();
    }
    return ErrorInfo{};
}

}  // namespace stravik::testing
