#pragma once

// The error a call raises, for tests that check what a user would read.

#include <gtest/gtest.h>

#include <functional>

#include "platform/platform_services.h"

namespace stravik::testing {

// What `call` raised; a test failure, and no error, when it raised none.
inline ErrorInfo raisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const RaisedError& error) {
        return error.info();
    }
    ADD_FAILURE() << "nothing was raised";
    return ErrorInfo{};
}

}  // namespace stravik::testing
