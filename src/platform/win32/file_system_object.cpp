#include "platform/win32/file_system_object.h"

#include <optional>
#include <span>
#include <utility>

#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"

namespace stravik::win32 {

namespace {

// A member called by name; its DISPID is looked up on first use and kept,
// since every object it is called on is of the same kind.
class DispatchMember {
public:
    explicit DispatchMember(const wchar_t* name) : name_(name) {}

    DISPID id(IDispatch& object) {
        if (!id_) {
            DISPID found = DISPID_UNKNOWN;
            LPOLESTR names[] = {const_cast<LPOLESTR>(name_)};
            const HRESULT result =
                object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &found);
            if (FAILED(result)) {
                raiseFailure(result);
            }
            id_ = found;
        }
        return *id_;
    }

private:
    const wchar_t* name_;
    std::optional<DISPID> id_;
};

struct FileSystemMembers {
    DispatchMember getFolder{L"GetFolder"};
    DispatchMember deleteFile{L"DeleteFile"};
    DispatchMember fileExists{L"FileExists"};
};

// Calls a member; `arguments` are in the reverse order of the member's
// parameters, as IDispatch::Invoke takes them.
void invoke(IDispatch& object, DISPID member, WORD flags, std::span<VARIANT> arguments,
            UniqueVariant& result) {
    DISPPARAMS parameters{};
    parameters.rgvarg = arguments.data();
    parameters.cArgs = static_cast<UINT>(arguments.size());
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT outcome = object.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                          result.put(), &exception, &argumentError);
    if (FAILED(outcome)) {
        raiseFailure(outcome, &exception);
    }
}

void setText(VARIANT& variant, const Text& text) {
    UniqueBstr string(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (string.get() == nullptr) {
        raiseClassicError(classic::outOfMemory);
    }
    variant.vt = VT_BSTR;
    variant.bstrVal = string.release();
}

// The object a member returned; "Object required" when it returned none.
ComPtr<IDispatch> objectOf(const VARIANT& variant) {
    ComPtr<IDispatch> object;
    IUnknown* unknown = nullptr;
    if (variant.vt == VT_DISPATCH) {
        unknown = variant.pdispVal;
    } else if (variant.vt == VT_UNKNOWN) {
        unknown = variant.punkVal;
    }
    if (unknown == nullptr || FAILED(unknown->QueryInterface(IID_IDispatch, object.putVoid()))) {
        raiseClassicError(classic::objectRequired);
    }
    return object;
}

class ComFileSystem final : public FileSystemComponent {
public:
    explicit ComFileSystem(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    void GetFolder(const Text& folderPath) override {
        UniqueVariant argument;
        setText(argument.get(), folderPath);
        UniqueVariant folder;
        invoke(*object_, members_.getFolder.id(*object_), DISPATCH_METHOD,
               std::span(&argument.get(), 1), folder);
        objectOf(folder.get());
    }

    void DeleteFile(const Text& filePath, bool force) override {
        UniqueVariant arguments[2];
        arguments[0].get().vt = VT_BOOL;
        arguments[0].get().boolVal = force ? VARIANT_TRUE : VARIANT_FALSE;
        setText(arguments[1].get(), filePath);
        // A plain view for Invoke; `arguments` keeps ownership.
        VARIANT reversed[2] = {arguments[0].get(), arguments[1].get()};
        UniqueVariant result;
        invoke(*object_, members_.deleteFile.id(*object_), DISPATCH_METHOD, reversed, result);
    }

    bool FileExists(const Text& filePath) override {
        UniqueVariant argument;
        setText(argument.get(), filePath);
        UniqueVariant exists;
        invoke(*object_, members_.fileExists.id(*object_), DISPATCH_METHOD,
               std::span(&argument.get(), 1), exists);
        const VARIANT& answer = exists.get();
        if (answer.vt == VT_EMPTY || answer.vt == VT_NULL) {
            return false;
        }
        if (answer.vt == VT_BOOL) {
            return answer.boolVal != VARIANT_FALSE;
        }
        UniqueVariant converted;
        const HRESULT result =
            VariantChangeType(converted.put(), const_cast<VARIANT*>(&answer), 0, VT_BOOL);
        if (FAILED(result)) {
            raiseFailure(result);
        }
        return converted.get().boolVal != VARIANT_FALSE;
    }

private:
    ComPtr<IDispatch> object_;
    FileSystemMembers members_;
};

}  // namespace

std::unique_ptr<FileSystemComponent> createFileSystemComponent(const Text& programmaticId) {
    CLSID classId{};
    ComPtr<IDispatch> object;
    if (FAILED(CLSIDFromProgID(programmaticId.c_str(), &classId)) ||
        FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                object.putVoid()))) {
        raiseClassicError(classic::cannotCreateObject);
    }
    return std::make_unique<ComFileSystem>(std::move(object));
}

}  // namespace stravik::win32
