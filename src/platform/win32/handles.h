#pragma once

// Owning wrappers for the few Windows handles the program keeps, so that
// no handle can outlive its owner or leak on a raised error.

#include <utility>

#include "platform/unique_any.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {

// A file or folder opened with CreateFileW.
using UniqueFile = UniqueAny<HANDLE, &::CloseHandle, -1>;

// A loaded library, freed with its owner.
class UniqueModule {
public:
    explicit UniqueModule(HMODULE module) : module_(module) {}
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;
    ~UniqueModule() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    HMODULE get() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }

private:
    HMODULE module_ = nullptr;
};

// A GDI font, deleted with its owner.
class UniqueFont {
public:
    UniqueFont() = default;
    explicit UniqueFont(HFONT font) : font_(font) {}
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    ~UniqueFont() { reset(); }
    HFONT get() const { return font_; }
    void reset(HFONT font = nullptr) {
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        font_ = font;
    }

private:
    HFONT font_ = nullptr;
};

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

// A BSTR that frees itself.
class UniqueBstr {
public:
    // Takes ownership of a string handed out by a component.
    explicit UniqueBstr(BSTR owned) : string_(owned) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(string_); }

    BSTR get() const { return string_; }
    // Hands ownership to the caller, for instance into a VARIANT.
    BSTR release() { return std::exchange(string_, nullptr); }

private:
    BSTR string_ = nullptr;
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
