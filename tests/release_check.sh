#!/usr/bin/env bash
# The release is reproducible and can be signed. Two clones of the current
# commit, in different folders, build the release at different times,
# under different time zones and umasks: their archives and programs must
# be byte-identical, and the programs the same as the win32 preset's build.
# Then a throwaway self-signed code-signing certificate signs a release;
# both programs' signatures must verify, and the signed programs must still
# pass the executable check (the window's start under Wine is the
# e2e.signed_start test); a release signed and time-stamped by a local
# time-stamping authority must verify with its time stamp. The Ansible
# playbook runs from the unpacked release as administrators run it
# (playbook_check.sh), and the Task Scheduler definition is checked
# against the task schema's rules and its guide (task_xml_check.py).
#
#   release_check.sh PRESET_STRAVIK_EXE OBJDUMP WORK_FOLDER
set -uo pipefail

preset_exe=$(realpath "$1")
objdump=$2
work=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/checks.sh"

# Checks the files in folder $1 against the sums file $2 there. Both
# helpers are called through check, which shellcheck cannot follow.
# shellcheck disable=SC2317
sums_match() { (cd "$1" && sha256sum --quiet -c "${2:-SHA256SUMS}"); }

# shellcheck disable=SC2317
differ() { ! cmp -s "$1" "$2"; }

finish() {
    checks_summary
    exit
}

same_bytes() {
    local what=$1 first=$2 second=$3
    if cmp -s "$first" "$second"; then
        pass "$what: identical ($(sha256sum <"$first" | cut -c1-16)...)"
    else
        fail "$what differ: $(cmp "$first" "$second" 2>&1 | head -1)"
    fi
}

rm -rf "$work"
mkdir -p "$work"
commit=$(git -C "$root" rev-parse HEAD)

# Two clones in folders of different names and depths.
first=$work/first
second=$work/second/a/deeper/place
for clone in "$first" "$second"; do
    if ! git clone -q "$root" "$clone" || ! git -C "$clone" checkout -q --detach "$commit"; then
        fail "cannot clone $root at $commit"
        finish
    fi
done

release() {
    local clone=$1
    shift
    (cd "$clone" && env "$@" scripts/release.sh) >"$clone.log" 2>&1 || {
        fail "scripts/release.sh failed in $clone:"
        sed 's/^/    /' "$clone.log"
        finish
    }
}

zip=dist/stravik-1.00-win32.zip
release "$first" TZ=UTC
sleep 2
(umask 0077 && release "$second" TZ=Pacific/Chatham)
same_bytes "the release archives of the two clones" "$first/$zip" "$second/$zip"
mkdir -p "$work/unpacked/first" "$work/unpacked/second"
unzip -q "$first/$zip" -d "$work/unpacked/first"
unzip -q "$second/$zip" -d "$work/unpacked/second"
for program in stravik.exe stravikc.exe; do
    same_bytes "$program of the two clones" "$work/unpacked/first/$program" \
        "$work/unpacked/second/$program"
done

# The preset's build comes from the work tree, which may hold changes not
# yet committed; then it cannot match.
if [ -z "$(git -C "$root" status --porcelain -- src resources cmake CMakeLists.txt CMakePresets.json)" ]; then
    for program in stravik.exe stravikc.exe; do
        same_bytes "the release's $program and the win32 preset's" \
            "$(dirname "$preset_exe")/$program" "$work/unpacked/first/$program"
    done
else
    echo "skipped: the work tree has uncommitted changes; the preset's programs are not compared"
fi

listing=$(unzip -Z1 "$first/$zip" | tr '\n' ' ')
contents="stravik.exe stravikc.exe README.txt $(cd "$root" && find deploy -type f | LC_ALL=C sort | tr '\n' ' ')SHA256SUMS "
check "the archive holds $contents in that order: $listing" [ "$listing" = "$contents" ]
stamp=$(TZ=UTC git -C "$first" log -1 --format=%cd --date=format-local:'%Y-%m-%d %H:%M')
if unzip -l "$first/$zip" | sed -n '4,$p' | grep -E '[^ ]$' | grep -vE -- '-{4}|files$' |
    grep -vqF "$stamp"; then
    fail "not every file carries the last commit's time ($stamp UTC)"
else
    pass "every file carries the last commit's time ($stamp UTC)"
fi
check "the archive's SHA256SUMS match its files" sums_match "$work/unpacked/first"
if bash "$here/playbook_check.sh" "$work/unpacked/first" >"$work/playbook.log" 2>&1; then
    pass "the Ansible playbook from the unpacked release finds stravikc.exe:"
else
    fail "the Ansible playbook from the unpacked release:"
fi
sed 's/^/    /' "$work/playbook.log"
report_lines < <(python3 "$here/task_xml_check.py" "$work/unpacked/first/deploy/stravik-remove-task.xml" \
    "$work/unpacked/first/deploy/README.txt" 2>&1)
grep -F "$(basename "$zip")" "$first/dist/SHA256SUMS" >"$first/dist/zip.sum"
check "dist/SHA256SUMS has the archive's sum" sums_match "$first/dist" zip.sum
guide=$work/unpacked/first/README.txt
if grep -q $'\r$' "$guide" && ! grep -q $'[^\r]$' "$guide" && grep -q '^What Stravik removes' "$guide" &&
    ! grep -qE "\`|\*\*|^#|^\|-" "$guide"; then
    pass "the guide is plain text with Windows line ends ($(wc -l <"$guide") lines)"
else
    fail "the guide is not plain text with Windows line ends and the administrators' part"
fi

# The README's table of what is removed is the installation table.
source "$root/scripts/installation.sh"
if diff <(installation_registry markdown target 'C:\WINDOWS') \
    <(grep -E '^\| (key tree|value) \|' "$root/README.md") >"$work/table.diff"; then
    pass "the README lists the 20 key trees and 11 values of scripts/installation.tsv"
else
    fail "the README's table differs from scripts/installation.tsv:"
    sed 's/^/    /' "$work/table.diff"
fi

# Signing with a throwaway certificate made for code signing.
keys=$work/keys
mkdir -p "$keys"
password=throwaway-$RANDOM
if openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" \
    -days 2 -subj "/CN=Stravik release test" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=digitalSignature" >/dev/null 2>&1 &&
    openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/test.pfx" \
        -passout "pass:$password" >/dev/null 2>&1; then
    pass "a throwaway code-signing certificate"
else
    fail "openssl could not make a code-signing certificate"
    finish
fi
release "$first" STRAVIK_SIGN_PFX="$keys/test.pfx" STRAVIK_SIGN_PASSWORD="$password"
mkdir -p "$work/unpacked/signed"
unzip -q "$first/$zip" -d "$work/unpacked/signed"
cp "$work/unpacked/signed/stravik.exe" "$work/stravik-signed.exe"

# Trusting the throwaway certificate, the whole chain verifies; without
# it, only the chain is untrusted and the digests still match.
for program in stravik.exe stravikc.exe; do
    signed=$work/unpacked/signed/$program
    osslsigncode verify -in "$signed" -CAfile "$keys/cert.pem" >"$work/verify.log" 2>&1
    if grep -q 'Signature verification: ok' "$work/verify.log" &&
        grep -q 'Message digest algorithm *: SHA256' "$work/verify.log"; then
        pass "osslsigncode verifies $program's SHA-256 signature against the throwaway certificate"
    else
        fail "$program's signature does not verify:"
        sed 's/^/    /' "$work/verify.log"
    fi
    osslsigncode verify -in "$signed" >"$work/verify-untrusted.log" 2>&1
    digests=$(sed -n 's/^\(Current\|Calculated\) message digest *: *\([0-9A-F]*\).*/\2/p' \
        "$work/verify-untrusted.log")
    if [ "$(wc -l <<<"$digests")" -eq 2 ] && [ "$(sort -u <<<"$digests" | wc -l)" -eq 1 ]; then
        pass "without trusting the certificate, $program's digest still matches the signed one"
    else
        fail "$program's digest does not match the signed one:"
        sed 's/^/    /' "$work/verify-untrusted.log"
    fi
    check "the signed $program differs from the unsigned one" \
        differ "$signed" "$work/unpacked/first/$program"
    kind=gui
    [ "$program" = stravik.exe ] || kind=console
    if bash "$here/executable_check.sh" "$signed" "$objdump" "$kind" >"$work/executable.log" 2>&1; then
        pass "the signed $program passes the executable check"
    else
        fail "the signed $program fails the executable check:"
        sed 's/^/    /' "$work/executable.log"
    fi
done
signed=$work/unpacked/signed/stravik.exe
cp "$signed" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=1024 conv=notrunc status=none
if osslsigncode verify -in "$work/tampered.exe" -CAfile "$keys/cert.pem" >/dev/null 2>&1; then
    fail "a tampered program still verifies"
else
    pass "a tampered program fails verification"
fi
check "SHA256SUMS were taken after signing" sums_match "$work/unpacked/signed"

# Time-stamped by a time-stamping authority of the test's own: a throwaway
# certificate for time stamping, and a responder that answers RFC 3161
# requests with openssl on 127.0.0.1 only, for five minutes at most.
tsa=$work/tsa
mkdir -p "$tsa"
echo 01 >"$tsa/serial"
cat >"$tsa/tsa.cnf" <<EOF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $tsa/serial
crypto_device = builtin
signer_cert = $tsa/tsa.pem
signer_key = $tsa/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
if ! openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tsa/tsa.key" -out "$tsa/tsa.pem" \
    -days 2 -subj "/CN=Stravik release test TSA" -addext "extendedKeyUsage=critical,timeStamping" \
    -addext "keyUsage=critical,digitalSignature" >/dev/null 2>&1; then
    fail "openssl could not make a time-stamping certificate"
    finish
fi
python3 "$here/timestamp_responder.py" "$tsa/tsa.cnf" "$tsa/port" 300 &
responder=$!
trap 'kill "$responder" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$tsa/port" ] && break; sleep 0.1; done
release "$first" STRAVIK_SIGN_PFX="$keys/test.pfx" STRAVIK_SIGN_PASSWORD="$password" \
    STRAVIK_TIMESTAMP_URL="http://127.0.0.1:$(cat "$tsa/port")"
kill "$responder" 2>/dev/null
mkdir -p "$work/unpacked/stamped"
unzip -q "$first/$zip" -d "$work/unpacked/stamped"
for program in stravik.exe stravikc.exe; do
    osslsigncode verify -in "$work/unpacked/stamped/$program" -CAfile "$keys/cert.pem" \
        -TSA-CAfile "$tsa/tsa.pem" >"$work/verify.log" 2>&1
    if grep -q 'Timestamp Server Signature verification: ok' "$work/verify.log" &&
        grep -q '^Signature verification: ok' "$work/verify.log"; then
        pass "$program's signature carries a time stamp that verifies against the test's authority"
    else
        fail "$program's time stamp does not verify:"
        sed 's/^/    /' "$work/verify.log"
    fi
done
check "SHA256SUMS were taken after time-stamping" sums_match "$work/unpacked/stamped"

finish
