#pragma once

// One owner for every kind of handle: a registry key, a file, a find
// handle, a GDI object, a file descriptor. The handle type, the function
// that closes it and the value that means "no handle" are template
// arguments, so each kind is one alias and no handle class is written twice.
//
//   using UniqueFile = UniqueAny<HANDLE, &::CloseHandle, -1>;  // INVALID_HANDLE_VALUE
//   using UniqueKey = UniqueAny<HKEY, &::RegCloseKey>;          // null
//
// Move-only. The close function's result is ignored: nothing more can be
// done about a handle that will not close.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace stravik {

template <typename Handle, auto Close, std::intptr_t InvalidValue = 0>
class UniqueAny {
public:
    static Handle invalid() noexcept {
        if constexpr (std::is_pointer_v<Handle>) {
            return reinterpret_cast<Handle>(InvalidValue);
        } else {
            return static_cast<Handle>(InvalidValue);
        }
    }

    UniqueAny() noexcept = default;
    explicit UniqueAny(Handle handle) noexcept : handle_(handle) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueAny() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != invalid(); }

    // Hands the handle to the caller, who closes it.
    Handle release() noexcept { return std::exchange(handle_, invalid()); }

    // Closes what is held and takes `handle` instead.
    void reset(Handle handle = invalid()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != invalid()) {
            Close(old);
        }
    }

    // For out-parameters: closes what is held and hands out the slot.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = invalid();
};

}  // namespace stravik
