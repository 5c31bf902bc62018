# Counted checks for the test scripts that source this: pass and fail
# print one line each; check passes or fails by a command's status;
# checks_summary prints the counts and fails when any check failed.

CHECKS_PASSED=0
CHECKS_FAILED=0

pass() {
    CHECKS_PASSED=$((CHECKS_PASSED + 1))
    echo "ok: $*"
}

fail() {
    CHECKS_FAILED=$((CHECKS_FAILED + 1))
    echo "FAIL: $*"
}

# Passes when the command after the description succeeds, else fails.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

checks_summary() {
    echo "$CHECKS_PASSED passed, $CHECKS_FAILED failed"
    [ "$CHECKS_FAILED" -eq 0 ]
}
