#!/usr/bin/env bash
# The signed release starts and ends as the program does: the signature
# appended to the file changes nothing that Windows loads.
source "$(dirname "$0")/scenario.sh"

drive "the signed program opens its window and Exit ends it" expect-window click-exit expect-exit 0

finish
