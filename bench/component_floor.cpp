// The floor that the file-system component sets for the Remove command:
// the least a late-bound caller of Scripting.FileSystemObject can do to
// empty a folder, the script equivalent of
//
//   Set fso = CreateObject("Scripting.FileSystemObject")
//   For Each file In fso.GetFolder(folder).Files
//       fso.DeleteFile file.Path, True
//   Next
//
// and nothing else. The component is created before the timed rounds, as
// the program creates it at start-up; each member's DISPID is looked up on
// first use and kept.
//
//   component_floor FOLDER ROUNDS COUNT...      (see timed_rounds.h)

#include <cstdio>
#include <span>

#include "platform/win32/handles.h"
#include "timed_rounds.h"

namespace {

using stravik::win32::ComPtr;
using stravik::win32::UniqueVariant;

class Member {
public:
    explicit Member(const wchar_t* name) : name_(name) {}
    DISPID id(IDispatch& object) {
        if (id_ == DISPID_UNKNOWN) {
            LPOLESTR names[] = {const_cast<LPOLESTR>(name_)};
            object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id_);
        }
        return id_;
    }

private:
    const wchar_t* name_;
    DISPID id_ = DISPID_UNKNOWN;
};

// One call; `arguments` in reverse order, as Invoke takes them.
bool invoke(IDispatch& object, DISPID member, WORD flags, std::span<VARIANT> arguments,
            UniqueVariant& result) {
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    return SUCCEEDED(object.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                   result.put(), nullptr, nullptr));
}

template <typename Interface>
ComPtr<Interface> query(const UniqueVariant& value, REFIID id) {
    ComPtr<Interface> object;
    const VARIANT& variant = value.get();
    if ((variant.vt == VT_DISPATCH || variant.vt == VT_UNKNOWN) && variant.punkVal != nullptr)
        variant.punkVal->QueryInterface(id, object.putVoid());
    return object;
}

class ComponentLoop {
public:
    explicit ComponentLoop(ComPtr<IDispatch> fileSystem) : fileSystem_(std::move(fileSystem)) {}

    unsigned long deleteFiles(const std::wstring& folderPath) {
        UniqueVariant path, folder, files, enumerator;
        path.get().vt = VT_BSTR;
        path.get().bstrVal = SysAllocString(folderPath.c_str());
        if (!invoke(*fileSystem_, getFolder_.id(*fileSystem_), DISPATCH_METHOD,
                    std::span(&path.get(), 1), folder))
            return 0;
        const auto folderObject = query<IDispatch>(folder, IID_IDispatch);
        if (!folderObject.get() ||
            !invoke(*folderObject, files_.id(*folderObject), DISPATCH_PROPERTYGET, {}, files))
            return 0;
        const auto filesObject = query<IDispatch>(files, IID_IDispatch);
        if (!filesObject.get() || !invoke(*filesObject, DISPID_NEWENUM,
                                          DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, enumerator))
            return 0;
        const auto items = query<IEnumVARIANT>(enumerator, IID_IEnumVARIANT);
        if (!items.get()) return 0;

        unsigned long deleted = 0;
        UniqueVariant item;
        ULONG fetched = 0;
        while (items->Next(1, item.put(), &fetched) == S_OK && fetched == 1) {
            const auto file = query<IDispatch>(item, IID_IDispatch);
            UniqueVariant filePath, ignored;
            if (!file.get() || !invoke(*file, path_.id(*file), DISPATCH_PROPERTYGET, {}, filePath))
                break;
            // Borrowed from filePath, which keeps ownership.
            VARIANT arguments[2]{};
            arguments[0].vt = VT_BOOL;
            arguments[0].boolVal = VARIANT_TRUE;
            arguments[1] = filePath.get();
            if (!invoke(*fileSystem_, deleteFile_.id(*fileSystem_), DISPATCH_METHOD, arguments,
                        ignored))
                break;
            ++deleted;
        }
        return deleted;
    }

private:
    ComPtr<IDispatch> fileSystem_;
    Member getFolder_{L"GetFolder"};
    Member files_{L"Files"};
    Member path_{L"Path"};
    Member deleteFile_{L"DeleteFile"};
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const stravik::win32::ComApartment apartment;
    CLSID classId{};
    ComPtr<IDispatch> fileSystem;
    if (FAILED(CLSIDFromProgID(L"Scripting.FileSystemObject", &classId)) ||
        FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                fileSystem.putVoid()))) {
        std::puts("cannot create Scripting.FileSystemObject");
        return 1;
    }
    ComponentLoop loop(std::move(fileSystem));
    return stravik::bench::runTimedRounds(
        argc, argv, [&](const std::wstring& folder) { return loop.deleteFiles(folder); });
}
