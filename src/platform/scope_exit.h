#pragma once

// Runs a cleanup when the scope ends, however it ends, unless released
// first: for the undoing that has no handle of its own to own. What the
// cleanup raises at the end of a scope is dropped, since an error already
// on its way out must not be replaced; run it early with runNow() where
// its failure matters.
//
//   auto restore = scopeExit([&] { busy = false; });

#include <utility>

namespace stravik {

template <typename Cleanup>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) {
            try {
                cleanup_();
            } catch (...) {
            }
        }
    }

    // Runs the cleanup now rather than at the end of the scope.
    void runNow() {
        if (std::exchange(armed_, false)) {
            cleanup_();
        }
    }

    void release() noexcept { armed_ = false; }

private:
    Cleanup cleanup_;
    bool armed_ = true;
};

template <typename Cleanup>
ScopeExit<Cleanup> scopeExit(Cleanup cleanup) {
    return ScopeExit<Cleanup>(std::move(cleanup));
}

}  // namespace stravik
