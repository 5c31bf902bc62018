#include "console/unattended_run.h"

#include "console/run_record.h"
#include "identifiers/target_identifiers.h"
#include "platform/classic_errors.h"
#include "shell/removal_form.h"

namespace stravik::console {

namespace {

// Prints each target's fate as the run reaches it and counts them.
class Account final : public TargetReport {
public:
    explicit Account(Output& output) : output_(output) {}

    void told(const Text& target, Fate fate) override {
        // Fate's order is the record's.
        const Text line = record::fateText(static_cast<std::size_t>(fate), target);
        if (fate == Fate::absent) {
            output_.consoleOnly(line);
        } else {
            output_.line(line);
        }
        ++counts_[static_cast<std::size_t>(fate)];
    }

    void reaching(const Text& target) override { reached_ = target; }
    // The last target the run worked on: where a failure stopped it.
    const Text& reached() const { return reached_; }

    std::int64_t count(Fate fate) const { return counts_[static_cast<std::size_t>(fate)]; }
    const record::FateCounts& counts() const { return counts_; }

private:
    Output& output_;
    record::FateCounts counts_{};
    Text reached_;
};

std::wstring_view driveSourceText(DriveSource source) {
    switch (source) {
        case DriveSource::commandLine:
            return L"/drive";
        case DriveSource::registration:
            return L"the registration";
        case DriveSource::windowsDirectory:
            return L"the Windows directory";
        case DriveSource::none:
            break;
    }
    return L"nowhere";
}

}  // namespace

int exitCodeFor(const RunOutcome& outcome) {
    if (outcome.firstError) {
        // A classic number, or the HRESULT of a failure that has none.
        const int number = outcome.firstError->number;
        return number != 0 ? number : exitCode::unspecifiedFailure;
    }
    if (outcome.locationsUnknown) {
        return classic::pathNotFound;
    }
    if (outcome.anyLeft) {
        // Left for want of rights that elevation gives, or denied even so.
        return outcome.administrator ? classic::permissionDenied : exitCode::elevationRequired;
    }
    if (outcome.anyPresent) {
        return exitCode::found;
    }
    return outcome.anyScheduled ? exitCode::restartNeeded : exitCode::nothingLeft;
}

RunResult runCommand(PlatformServices& platform, const CommandLine& command, Output& output) {
    Account account(output);
    RemovalForm form(platform);
    form.runUnattended(command.scope, account, command.installDrive);
    form.load();

    RunOutcome outcome;
    // Neither location known: the form said so and ended, as the window does.
    outcome.locationsUnknown = form.installDrive().empty() && form.windowsDirectory().empty();
    if (!form.firstError() && !outcome.locationsUnknown) {
        if (command.scope != Scope::machine) {
            output.line(L"template folder: " + templateFolder(form.installDrive()) +
                        L" (drive from " + Text(driveSourceText(form.driveSource())) + L")");
        }
        if (command.action == Action::check) {
            form.checkPresence();
        } else {
            form.btnRemoveClick();
            form.terminate();
        }
    }
    if (form.firstError() && !account.reached().empty()) {
        output.line(record::failedText(account.reached()));
    }
    output.recordOnly(record::summaryText(account.counts()));

    outcome.firstError = form.firstError();
    outcome.anyPresent = account.count(Fate::present) + account.count(Fate::unreachable) > 0;
    outcome.anyLeft = account.count(Fate::left) > 0;
    outcome.administrator = !outcome.anyLeft || platform.isAdministrator() != 0;
    outcome.anyScheduled = account.count(Fate::scheduled) > 0;
    return RunResult{exitCodeFor(outcome), form.firstError(),
                     form.firstError() ? account.reached() : Text()};
}

unsigned eventIdFor(int exitCode) {
    switch (exitCode) {
        case exitCode::nothingLeft:
            return eventId::nothingLeft;
        case exitCode::found:
            return eventId::found;
        case exitCode::restartNeeded:
            return eventId::restartNeeded;
        case exitCode::elevationRequired:
            return eventId::elevationRequired;
        case exitCode::logUnavailable:
            return eventId::logUnavailable;
        default:
            return eventId::failed;
    }
}

Text eventText(const CommandLine& command, const RunResult& result) {
    Text text = Text(L"Stravik ") + (command.action == Action::check ? L"check" : L"remove") +
                (command.scope == Scope::machine ? L" /machine"
                 : command.scope == Scope::user  ? L" /user"
                                                 : L"") +
                L": exit code " + std::to_wstring(result.exitCode);
    if (result.firstError) {
        text += L", " + formatErrorMessage(*result.firstError);
        if (!result.stoppedAt.empty()) {
            text += L" at " + result.stoppedAt;
        }
    }
    return text;
}

}  // namespace stravik::console
