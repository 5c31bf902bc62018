#!/usr/bin/env bash
# The files in deploy/ are ready to hand out: the Ansible playbook passes
# ansible-playbook's syntax check and ansible-lint's production profile,
# offline; the files for Windows (the cmd scripts and README.txt) have
# Windows line ends and ASCII only; and the cmd scripts make no folders.
#
#   deploy_check.sh [SOURCE_DIR]    (default: the folder above this one)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "${1:-$here/..}" && pwd)
source "$here/checks.sh"
playbook=deploy/stravik-remove.yml

# Nothing from the network and nothing left behind: --offline keeps
# ansible-lint from refreshing its schemas or installing collections (the
# ansible.windows collection comes with Debian's ansible).
# shellcheck source=ansible_offline.sh
source "$here/ansible_offline.sh" ansible-playbook ansible-lint
lint=(ansible-lint --offline --nocolor --profile production)

# Both tools take the playbook relative to the project: ansible-lint
# silently skips a file outside its project folder.
cd "$root" || exit
check "ansible-playbook --syntax-check $playbook" \
    ansible-playbook --syntax-check -i localhost, "$playbook"
check "ansible-lint (production profile) $playbook" \
    "${lint[@]}" --project-dir "$root" "$playbook"

# The same lint must reject a copy that names a module without its
# collection, so a pass above is a real one.
mkdir -p "$scratch/project"
sed 's/ansible\.windows\.win_copy:/win_copy:/' "$playbook" >"$scratch/project/playbook.yml"
if (cd "$scratch/project" && "${lint[@]}" --project-dir . playbook.yml) >"$scratch/lint.log" 2>&1; then
    fail "ansible-lint passed a playbook with a short module name"
elif grep -q 'fqcn' "$scratch/lint.log"; then
    pass "ansible-lint rejects a short module name"
else
    fail "ansible-lint failed for another reason: $(head -5 "$scratch/lint.log")"
fi

# Every line ends in CR LF, the last one too, and every byte is printable
# ASCII, a tab or a line end. Called through check, which shellcheck
# cannot follow.
# shellcheck disable=SC2317
windows_text() {
    ! grep -q $'[^\r]$\|^$' "$1" &&
        [ -z "$(tail -c 1 "$1" | tr -d '\n')" ] &&
        ! LC_ALL=C grep -q $'[^\t\r -~]' "$1"
}
for file in deploy/startup.cmd deploy/logon.cmd deploy/README.txt; do
    check "$file: CR LF line ends, ASCII only" windows_text "$file"
done

# The administrator makes the log folders with their permissions; a folder
# that a script made would carry whatever rights its runner gave it.
# shellcheck disable=SC2317
makes_no_folder() { ! grep -viE '^[[:space:]]*rem([[:space:]]|$)' "$1" | grep -qiwE 'mkdir|md'; }
for file in deploy/startup.cmd deploy/logon.cmd; do
    check "$file makes no folder" makes_no_folder "$file"
done

checks_summary
