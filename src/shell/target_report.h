#pragma once

// What an unattended run covers and what it tells of each target: the
// console program's words, which the form's operations speak too.

#include "platform/platform_services.h"

namespace stravik {

// What an unattended run covers: everything, as the window; the machine's
// part (the Windows directory's files and the registry), which needs no
// user's drive; or the user's part (the template folder).
enum class Scope { everything, machine, user };

// What became of one target, or what a check found of it.
enum class Fate { removed, absent, left, scheduled, present, unreachable };

// Told of each target as Remove or a check reaches it: the console
// program's account of a run. The window has none.
class TargetReport {
public:
    virtual ~TargetReport() = default;
    virtual void told(const Text& target, Fate fate) = 0;
    // Told before the run works on a target, so that a failure can name
    // the target it stopped at.
    virtual void reaching(const Text& target) = 0;
    // Told when the folder could be opened only with the backup and
    // restore privileges.
    virtual void openedAsBackup(const Text& folder) = 0;
};

}  // namespace stravik
