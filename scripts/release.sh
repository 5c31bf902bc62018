#!/usr/bin/env bash
# Builds the release, dist/stravik-<version>-win32.zip, holding
#   stravik.exe   the program, as the win32 preset builds it
#   stravikc.exe  the console program for deployment tools, likewise
#   README.txt    the administrators' guide: the first part of README.md
#   deploy/       the scripts and notes for Group Policy, Intune,
#                 Configuration Manager and Ansible
#   SHA256SUMS    the SHA-256 of every other file
# and beside it dist/SHA256SUMS, which adds the zip's own sum, to publish
# with the download.
#
# The release is reproducible: built from the same commit, anywhere and at
# any time, stravik.exe and the zip have the same bytes. Time stamps are
# the last commit's (SOURCE_DATE_EPOCH); the build flags keep build folders
# and link times out of the program.
#
# When STRAVIK_SIGN_PFX names a PFX file and STRAVIK_SIGN_PASSWORD holds its
# password, stravik.exe is signed (Authenticode, SHA-256, signing time
# SOURCE_DATE_EPOCH) before the sums are taken; so is stravikc.exe. When
# STRAVIK_TIMESTAMP_URL also names an RFC 3161 time-stamping server, each
# signature is then time-stamped there, so that it stays valid after the
# certificate expires.
#
#   scripts/release.sh [BUILD_DIR]      (default build/release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/release}")
[ -z "${STRAVIK_SIGN_PFX:-}" ] || STRAVIK_SIGN_PFX=$(realpath "$STRAVIK_SIGN_PFX")
cd "$root"
scripts/install-deps.sh

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

# The product's own build: the win32 preset, without the tests.
cmake --preset win32 -B "$build" -DSTRAVIK_TESTS=OFF >/dev/null
cmake --build "$build" --target stravik stravikc >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=stravik-$version-win32

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/files"

programs=(stravik.exe stravikc.exe)
if [ -n "${STRAVIK_SIGN_PFX:-}" ]; then
    [ -n "${STRAVIK_SIGN_PASSWORD+set}" ] || {
        echo "release: STRAVIK_SIGN_PFX is set but STRAVIK_SIGN_PASSWORD is not" >&2
        exit 1
    }
    for program in "${programs[@]}"; do
        # The password goes through a pipe, never on a command line.
        osslsigncode sign -pkcs12 "$STRAVIK_SIGN_PFX" \
            -readpass <(printf '%s' "$STRAVIK_SIGN_PASSWORD") -h sha256 \
            -n Stravik -time "$SOURCE_DATE_EPOCH" \
            -in "$build/$program" -out "$stage/signed-$program" >/dev/null
        echo "Signed $program with $STRAVIK_SIGN_PFX"
        # The time stamp is a step of its own: it is the one part of a
        # release that differs each time it is made.
        if [ -n "${STRAVIK_TIMESTAMP_URL:-}" ]; then
            osslsigncode add -ts "$STRAVIK_TIMESTAMP_URL" -h sha256 \
                -in "$stage/signed-$program" -out "$stage/files/$program" >/dev/null
            echo "Time-stamped $program by $STRAVIK_TIMESTAMP_URL"
        else
            mv "$stage/signed-$program" "$stage/files/$program"
        fi
    done
elif [ -n "${STRAVIK_TIMESTAMP_URL:-}" ]; then
    echo "release: STRAVIK_TIMESTAMP_URL is set but STRAVIK_SIGN_PFX is not: nothing to time-stamp" >&2
    exit 1
else
    for program in "${programs[@]}"; do cp "$build/$program" "$stage/files/$program"; done
fi

scripts/admin-guide.sh README.md >"$stage/files/README.txt"
cp -r deploy "$stage/files/deploy"
# Fixed order, times, permissions and no owner fields; zip writes local
# times, hence UTC.
files=("${programs[@]}" README.txt)
while IFS= read -r file; do files+=("$file"); done < <(cd "$stage/files" && find deploy -type f | LC_ALL=C sort)
(cd "$stage/files" && sha256sum "${files[@]}" >SHA256SUMS)
files+=(SHA256SUMS)
for file in "${files[@]}"; do
    chmod 0644 "$stage/files/$file"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage/files/$file"
done
(cd "$stage/files" && TZ=UTC zip -X -D -q "$stage/$name.zip" "${files[@]}")  # -D: no folder entries

mkdir -p dist
rm -f "dist/$name.zip"
cp "$stage/$name.zip" "dist/$name.zip"
{
    cat "$stage/files/SHA256SUMS"
    (cd dist && sha256sum "$name.zip")
} >dist/SHA256SUMS
echo "Built dist/$name.zip"
cat dist/SHA256SUMS
