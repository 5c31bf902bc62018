#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# this machine lacks, and lets 32-bit programs run where the kernel cannot
# run them itself. Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine qemu-user-static
  xvfb xauth x11-utils xdotool imagemagick
  util-linux file shellcheck
  ansible ansible-lint
  zip osslsigncode openssl
  chromium
)

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync fails one index or another; the
  # lists it did fetch are enough to try.
  "${as_root[@]}" apt-get update -qq || echo "apt-get update failed in part; going on"
  install=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq)
  if ! "${install[@]}" "${missing[@]}" >/dev/null; then
    # Such a sync can also leave the security updates of one architecture
    # behind the other's, and 32-bit libraries must match their 64-bit
    # twins exactly: then take the packages from the release itself.
    echo "Installing again with the security updates set aside"
    preferences=$(mktemp)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$preferences"
    "${install[@]}" -o Dir::Etc::Preferences="$preferences" "${missing[@]}" >/dev/null
    rm -f "$preferences"
  fi
fi

# Some kernels are built or booted without 32-bit emulation. There the
# 32-bit Wine loader runs under qemu's user-mode emulator, registered as the
# handler of 32-bit x86 programs until the next boot.
binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386-static
if [[ ! -e $binfmt/qemu-i386 ]] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "Registering $qemu to run 32-bit programs"
  [[ -e $binfmt/register ]] || "${as_root[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' |
    "${as_root[@]}" tee "$binfmt/register" >/dev/null
fi
