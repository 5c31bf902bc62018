#pragma once

// Owners for the Windows handles and resources we keep, so that none can
// outlive its owner or leak on a raised error.

#include <utility>

#include "platform/unique_any.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// One alias per kind of Windows handle: what closes it and which value
// means "none". The program, its tests, the end-to-end driver and the
// benchmark all own their handles through these.

// Kernel objects that CreateFile and FindFirstFile hand out, where failure
// is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, &::CloseHandle, -1>;
using UniqueFind = UniqueAny<HANDLE, &::FindClose, -1>;
// Kernel objects whose failure value is null: processes, threads, events.
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle>;
using UniqueModule = UniqueAny<HMODULE, &::FreeLibrary>;
using UniqueKey = UniqueAny<HKEY, &::RegCloseKey>;
// A handle to the event log, from RegisterEventSource.
using UniqueEventSource = UniqueAny<HANDLE, &::DeregisterEventSource>;

template <typename GdiObject>
using UniqueGdiObject = UniqueAny<GdiObject, &::DeleteObject>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueMemoryDc = UniqueAny<HDC, &::DeleteDC>;

// The screen's device context, from GetDC(nullptr).
inline void releaseScreenDc(HDC dc) { ::ReleaseDC(nullptr, dc); }
using UniqueScreenDc = UniqueAny<HDC, &releaseScreenDc>;

// Memory the system allocated for us with LocalAlloc (FormatMessage's text).
using UniqueLocalText = UniqueAny<wchar_t*, &::LocalFree>;

// A BSTR; release() hands it on, for instance into a VARIANT.
using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;

// A counted COM interface pointer that releases itself.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface& operator*() const { return *pointer_; }

    // For out-parameters: releases what is held and hands out the slot.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};

// A VARIANT that clears itself, releasing whatever it holds.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&variant_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&variant_); }

    VARIANT& get() { return variant_; }
    const VARIANT& get() const { return variant_; }
    VARIANT* put() {
        VariantClear(&variant_);
        return &variant_;
    }

private:
    VARIANT variant_;
};

// The program's COM apartment, single-threaded, for as long as it lives.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialized_) {
            CoUninitialize();
        }
    }

private:
    bool initialized_;
};

}  // namespace stravik::win32
