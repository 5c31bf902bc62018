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

# Counts the "ok: ..." and "FAIL: ..." lines that a checking program
# prints on its standard input as passes and failures; any other line is a
# failure too.
report_lines() {
    local line
    while IFS= read -r line; do
        case $line in
            "ok: "*) pass "${line#ok: }" ;;
            *) fail "${line#FAIL: }" ;;
        esac
    done
}

checks_summary() {
    echo "$CHECKS_PASSED passed, $CHECKS_FAILED failed"
    [ "$CHECKS_FAILED" -eq 0 ]
}
