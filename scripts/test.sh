#!/usr/bin/env bash
# Checks every shell script, builds both programs and runs every test: the
# logic and the stand-in platform natively under the sanitizers, then
# stravik.exe, its unit tests and its end-to-end scenarios under Wine,
# headless.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Every shell script, run or sourced, is clean under shellcheck (settings
# in .shellcheckrc).
shell_scripts=()
while IFS= read -r -d '' file; do
  if [[ $file == *.sh ]] || head -n1 "$file" | grep -qE '^#!.*\b(ba)?sh\b'; then
    shell_scripts+=("$file")
  fi
done < <(find scripts tests bench cmake .ci -type f -not -path 'tests/e2e/fixtures/*' -print0)
shellcheck "${shell_scripts[@]}"
echo "shellcheck: ${#shell_scripts[@]} scripts clean"

cmake --preset native
cmake --build --preset native
ctest --preset native -j2

# The unit tests as a Windows program (16-bit wchar_t, the real registry,
# shell and file-system component), built 64-bit so that Wine runs them
# natively even where the kernel cannot run 32-bit programs.
cmake --preset win64
cmake --build --preset win64
ctest --preset win64

# The product, checked as a file and then end to end under Wine.
cmake --preset win32
cmake --build --preset win32
ctest --test-dir build/win32 --output-on-failure -j2
