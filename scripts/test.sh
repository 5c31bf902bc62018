#!/usr/bin/env bash
# Builds both programs and runs every test: the logic and the stand-in
# platform natively under the sanitizers, then stravik.exe, its unit tests
# and its end-to-end scenarios under Wine, headless.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset native
cmake --build --preset native
ctest --preset native -j2

cmake --preset win32
cmake --build --preset win32
ctest --test-dir build/win32 --output-on-failure
