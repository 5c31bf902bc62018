#!/usr/bin/env bash
# The Ansible playbook as an administrator runs it: from the unpacked
# release folder, with no more than the hosts named, or with the program's
# absolute path. Over a local connection ansible-playbook runs a Windows
# playbook up to its first module, win_copy, which looks the program up on
# this machine before it reaches the host; with no Windows here the module
# then fails on the host. So each run must fail there, after the program was
# found, and never with "Could not find or access" or an undefined
# variable; a program that is not there must fail with that lookup's
# message, so that the passes are real ones. Then the playbook and its
# requirements.yml as the release ships them under ansible-lint, and read
# against the modules of the collection installed here (playbook_read.py).
# Offline; the caches go to a scratch folder.
#
#   playbook_check.sh UNPACKED_RELEASE_FOLDER
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
release=$(cd "$1" && pwd)
source "$here/checks.sh"

# shellcheck source=ansible_offline.sh
source "$here/ansible_offline.sh" ansible-playbook ansible-lint ansible-doc
log=$scratch/playbook.log

# The documented command, with this machine as the host; output in $log.
run_playbook() {
    (cd "$release" && ansible-playbook -i localhost, -c local deploy/stravik-remove.yml \
        -e stravik_hosts=localhost "$@") >"$log" 2>&1
}

# The first failure is the copy's, and it came from the module on the
# host: the program was found on this machine and its name taken.
reaches_the_host() {
    local what=$1 first_failure
    shift
    if run_playbook "$@"; then
        fail "$what: the playbook passed without a Windows host"
        return
    fi
    first_failure=$(grep -m 1 '^fatal:' "$log")
    if grep -qE 'Could not find or access|undefined' "$log"; then
        fail "$what: $(grep -m 1 -E 'Could not find or access|undefined' "$log")"
    elif [[ $first_failure == *'"module_stderr"'* &&
        $first_failure == *'"original_basename": "stravikc.exe"'* ]]; then
        pass "$what: stravikc.exe found, the copy reached the host"
    else
        fail "$what: not the copy module's failure:"
        sed 's/^/    /' "$log"
    fi
}

reaches_the_host "the release's own layout, no -e stravik_program"
reaches_the_host "an absolute stravik_program" -e "stravik_program=$release/stravikc.exe"
reaches_the_host "--check" --check
run_playbook -e "stravik_program=$release/no-such-folder/stravikc.exe"
check "a stravik_program that is not there: \"Could not find or access\"" \
    grep -q "Could not find or access '$release/no-such-folder/stravikc.exe'" "$log"

lint_release() {
    (cd "$release" && ansible-lint --offline --nocolor --profile production --project-dir . \
        deploy/stravik-remove.yml deploy/requirements.yml) >"$log" 2>&1
}
what="ansible-lint (production profile): the release's playbook and requirements.yml"
if lint_release; then
    pass "$what"
else
    fail "$what"
    sed 's/^/    /' "$log"
fi
report_lines < <(python3 "$here/playbook_read.py" "$release/deploy/stravik-remove.yml" \
    "$release/deploy/requirements.yml" 2>&1)

checks_summary
