#include "shell/removal_form.h"

#include <cstdint>
#include <string>

#include "platform/classic_errors.h"
#include "shell/guarded.h"

namespace stravik {

namespace {
constexpr std::wstring_view fileSystemProgramId = L"Scripting.FileSystemObject";
}

RemovalForm::RemovalForm(PlatformServices& platform) : platform_(platform) {}

void RemovalForm::load() {
    guarded([&] {
        fileSystem_ = platform_.createObject(Text(fileSystemProgramId));
        discoverLocations();
    });
}

void RemovalForm::btnExitClick() {
    // Each step runs whatever the one before it did; nothing is reported.
    terminate();
    try {
        platform_.unloadWindow();
    } catch (...) {
    }
    try {
        platform_.endProgram();
    } catch (...) {
    }
}

void RemovalForm::terminate() {
    // Releasing the component cannot fail: its destructor does not throw.
    fileSystem_.reset();
}

FileSystemComponent& RemovalForm::requireFileSystem() {
    if (!fileSystem_) {
        raiseClassicError(classic::objectNotSet);
    }
    return *fileSystem_;
}

void RemovalForm::runUnattended(Scope scope, TargetReport& report, const Text& installDrive,
                                const Text& templateRoot, PinnedFolderPath* heldAbove) {
    scope_ = scope;
    report_ = &report;
    givenInstallDrive_ = installDrive;
    givenTemplateRoot_ = templateRoot;
    heldAbove_ = heldAbove;
}

Text RemovalForm::templateFolderPath() const {
    return givenTemplateRoot_.empty()
               ? templateFolder(installDrive_)
               : givenTemplateRoot_ + Text(TargetIdentifiers::templateFolderTail.substr(2));
}

void RemovalForm::tell(const Text& target, Fate fate) {
    if (report_ != nullptr) {
        report_->told(target, fate);
    }
}

void RemovalForm::reach(const Text& target) {
    if (report_ != nullptr) {
        report_->reaching(target);
    }
}

void RemovalForm::reportError(const ErrorInfo& error) {
    try {
        if (!firstError_) {
            firstError_ = error;
        }
        platform_.showMessage(formatErrorMessage(error));
    } catch (...) {
    }
}

Text formatErrorMessage(const ErrorInfo& error) {
    // Widen before negating: -INT32_MIN does not fit in 32 bits.
    const std::int64_t number = error.number;
    const Text sign = number < 0 ? L"-" : L" ";
    const Text digits = std::to_wstring(number < 0 ? -number : number);
    return L"Error #" + sign + digits + L": " + describedError(error) + L".";
}

Text trimBlanks(const Text& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == Text::npos) {
        return Text();
    }
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

}  // namespace stravik
