#include "console/unattended_run.h"

#include "platform/classic_errors.h"
#include "shell/removal_form.h"

namespace stravik::console {

namespace {

// Prints each target's fate as the run reaches it and keeps count of what
// decides the exit code.
class Account final : public TargetReport {
public:
    explicit Account(Output& output) : output_(output) {}

    void told(const Text& target, Fate fate) override {
        output_.line(Text(fateText(fate)) + L": " + target);
        anyLeft_ = anyLeft_ || fate == Fate::left;
        anyScheduled_ = anyScheduled_ || fate == Fate::scheduled;
    }

    bool anyLeft() const { return anyLeft_; }
    bool anyScheduled() const { return anyScheduled_; }

private:
    Output& output_;
    bool anyLeft_ = false;
    bool anyScheduled_ = false;
};

}  // namespace

std::wstring_view fateText(Fate fate) {
    switch (fate) {
        case Fate::removed:
            return L"removed";
        case Fate::absent:
            return L"not there";
        case Fate::left:
            return L"left";
        case Fate::scheduled:
            return L"deleted at the next restart";
        case Fate::present:
            return L"present";
        case Fate::unreachable:
            return L"cannot be reached";
    }
    return L"";
}

int runCommand(PlatformServices& platform, const CommandLine& command, Output& output) {
    Account account(output);
    RemovalForm form(platform);
    form.runUnattended(command.scope, account);
    form.load();
    if (form.firstError()) {
        return form.firstError()->number;
    }
    // Neither location known: the form said so and ended, as the window does.
    if (form.installDrive().empty() && form.windowsDirectory().empty()) {
        return classic::pathNotFound;
    }

    if (command.action == Action::check) {
        const bool found = form.checkPresence();
        if (form.firstError()) {
            return form.firstError()->number;
        }
        return found ? exitCode::found : exitCode::nothingLeft;
    }

    form.btnRemoveClick();
    form.terminate();
    if (form.firstError()) {
        return form.firstError()->number;
    }
    if (account.anyLeft()) {
        return platform.isAdministrator() == 0 ? exitCode::elevationRequired
                                               : classic::permissionDenied;
    }
    return account.anyScheduled() ? exitCode::restartNeeded : exitCode::nothingLeft;
}

}  // namespace stravik::console
