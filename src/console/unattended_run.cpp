#include "console/unattended_run.h"

#include "console/run_record.h"
#include "identifiers/target_identifiers.h"
#include "platform/classic_errors.h"
#include "platform/link_refusal.h"
#include "shell/removal_form.h"

namespace stravik::console {

namespace {

// Prints each target's fate as the run reaches it and counts them.
class Account final : public TargetReport {
public:
    // `sweep`: the home folder's line says what its own lines would.
    explicit Account(Output& output, bool sweep = false) : output_(output), sweep_(sweep) {}

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

    void openedAsBackup(const Text& folder) override {
        openedAsBackup_ = true;
        // In a sweep, the home folder's line says so.
        if (!sweep_) {
            output_.line(record::backupPrivilegesText(folder));
        }
    }
    bool openedAsBackup() const { return openedAsBackup_; }
    // The last target the run worked on: where a failure stopped it.
    const Text& reached() const { return reached_; }

    std::int64_t count(Fate fate) const { return counts_[static_cast<std::size_t>(fate)]; }
    const record::FateCounts& counts() const { return counts_; }

private:
    Output& output_;
    bool sweep_;
    record::FateCounts counts_{};
    Text reached_;
    bool openedAsBackup_ = false;
};

std::wstring_view driveSourceText(DriveSource source) {
    switch (source) {
        case DriveSource::commandLine:
            return L"/drive";
        case DriveSource::registration:
            return L"the registration";
        case DriveSource::windowsDirectory:
            return L"the Windows directory";
        case DriveSource::templateRoot:
            return L"/root";
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

namespace {

// One template folder's check or removal, told to `account`; the form
// keeps its first failure.
void runForm(RemovalForm& form, const CommandLine& command) {
    if (command.action == Action::check) {
        form.checkPresence();
    } else {
        form.btnRemoveClick();
        form.terminate();
    }
}

// A home folder's own lines: its targets and messages for the record and
// the console, but not the console's "not there" lines, which its one
// line says better.
class HomeOutput final : public Output {
public:
    explicit HomeOutput(Output& output) : output_(output) {}
    void line(const Text& text) override { output_.line(text); }
    void consoleOnly(const Text&) override {}
    void recordOnly(const Text& text) override { output_.recordOnly(text); }

private:
    Output& output_;
};

// One home folder: its fate, and its failure.
struct HomeResult {
    record::HomeFate fate;
    std::optional<ErrorInfo> error;
    bool openedAsBackup = false;
    record::FateCounts counts{};
};

// The home folder's folders are pinned from `homes`, the homes folder's
// pin, which holds every folder above them already.
HomeResult sweepHome(PlatformServices& platform, const CommandLine& command, Output& output,
                     PinnedFolderPath& homes, const Text& homeFolder) {
    HomeOutput homeOutput(output);
    Account account(homeOutput, true);
    RemovalForm form(platform);
    form.runUnattended(Scope::user, account, Text(), homeFolder + L"\\", &homes);
    form.load();
    if (!form.firstError()) {
        runForm(form, command);
    }
    HomeResult result{record::HomeFate::clean, form.firstError(), account.openedAsBackup(),
                      account.counts()};
    if (result.error) {
        if (!account.reached().empty()) {
            output.line(record::failedText(account.reached()));
        }
        result.fate = record::HomeFate::failed;
    } else if (account.count(Fate::present) + account.count(Fate::unreachable) > 0) {
        result.fate = record::HomeFate::present;
    } else if (account.count(Fate::removed) > 0) {
        result.fate = record::HomeFate::emptied;
    }
    return result;
}

// Every folder directly in the homes folder, one after another, held as
// one pin for the whole sweep so that the folder itself cannot be swapped.
// Each home folder's failure is told and counted, and the sweep goes on.
RunResult runSweep(PlatformServices& platform, const CommandLine& command, Output& output) {
    const Text& homes = command.homesFolder;
    output.line(record::homesFolderText(homes));
    record::FateCounts counts{};
    record::HomeFateCounts homeCounts{};
    RunOutcome outcome;
    Text stoppedAt;
    try {
        const std::unique_ptr<PinnedFolderPath> pinned = platform.pinFolderPathAsBackup(homes);
        for (const FolderEntry& entry : pinned->folders()) {
            const Text homeFolder = homes + entry.name;
            HomeResult result{record::HomeFate::skipped, std::nullopt};
            if (entry.hiddenAndSystem) {
                // Windows' own folders on a volume, never a user's.
            } else if (entry.name.find_first_of(L"\\/") != Text::npos) {
                // Only Wine lists such a name; it would lead elsewhere.
                result = {record::HomeFate::failed,
                          accessError(homeFolder + L" is not a name of a folder").info()};
                output.line(formatErrorMessage(*result.error));
            } else {
                result = sweepHome(platform, command, output, *pinned, homeFolder);
            }
            ++homeCounts[static_cast<std::size_t>(result.fate)];
            for (std::size_t fate = 0; fate < counts.size(); ++fate) {
                counts[fate] += result.counts[fate];
            }
            if (result.error && !outcome.firstError) {
                outcome.firstError = result.error;
                stoppedAt = homeFolder;
            }
            outcome.anyPresent = outcome.anyPresent || result.fate == record::HomeFate::present;
            output.line(record::homeText(result.fate, result.error ? result.error->number : 0,
                                         result.openedAsBackup, homeFolder));
        }
    } catch (const RaisedError& error) {
        // The homes folder itself: nothing of any home folder was looked at.
        output.line(formatErrorMessage(error.info()));
        outcome.firstError = error.info();
        stoppedAt = homes;
    }
    output.recordOnly(record::summaryText(counts));
    output.recordOnly(record::homesSummaryText(homeCounts));
    return RunResult{exitCodeFor(outcome), outcome.firstError, stoppedAt};
}

}  // namespace

RunResult runCommand(PlatformServices& platform, const CommandLine& command, Output& output) {
    if (!command.homesFolder.empty()) {
        return runSweep(platform, command, output);
    }
    Account account(output);
    RemovalForm form(platform);
    form.runUnattended(command.scope, account, command.installDrive, command.templateRoot);
    form.load();

    RunOutcome outcome;
    // Neither location known: the form said so and ended, as the window does.
    outcome.locationsUnknown = command.templateRoot.empty() && form.installDrive().empty() &&
                               form.windowsDirectory().empty();
    if (!form.firstError() && !outcome.locationsUnknown) {
        if (command.scope != Scope::machine) {
            const bool root = form.driveSource() == DriveSource::templateRoot;
            output.line(L"template folder: " + form.templateFolderPath() +
                        (root ? L" (from " : L" (drive from ") +
                        Text(driveSourceText(form.driveSource())) + L")");
        }
        runForm(form, command);
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
                (!command.homesFolder.empty()      ? L" /homes " + command.homesFolder
                 : !command.templateRoot.empty()   ? L" /root " + command.templateRoot
                 : command.scope == Scope::machine ? L" /machine"
                 : command.scope == Scope::user    ? L" /user"
                                                   : Text()) +
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
