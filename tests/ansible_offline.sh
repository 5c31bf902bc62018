# Sourced after checks.sh by the tests that run Ansible's tools: fails and
# ends the test when one of the tools named is missing, then sends every
# cache to a scratch folder ($scratch, removed on exit) so that nothing is
# fetched or left behind.
for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
        fail "$tool is missing: run scripts/install-deps.sh"
        checks_summary
        exit
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ANSIBLE_HOME=$scratch/ansible ANSIBLE_LOCAL_TEMP=$scratch/tmp \
    XDG_CACHE_HOME=$scratch/cache ANSIBLE_NOCOLOR=1 NO_COLOR=1
