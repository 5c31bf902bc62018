#pragma once

// Undoes a half-done step when the scope ends early, by return or by
// exception, unless the step completed and released it:
//
//   auto removeTemporary = scopeExit([&] { ::unlink(temporary.c_str()); });
//   ...
//   removeTemporary.release();  // renamed into place: nothing to undo

#include <utility>

namespace stravik {

template <typename Function>
class ScopeExit {
public:
    explicit ScopeExit(Function function) : function_(std::move(function)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) function_();
    }

    void release() noexcept { armed_ = false; }

private:
    Function function_;
    bool armed_ = true;
};

template <typename Function>
ScopeExit<Function> scopeExit(Function function) {
    return ScopeExit<Function>(std::move(function));
}

}  // namespace stravik
