#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Installs the Debian packages that building and testing Orvane need; skips
# what is already there, so running it again is cheap.
set -euo pipefail

packages=(
    # native build and tests
    cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang-format clang libclang-rt-14-dev
    # Linux front end and its offscreen tests
    qt6-base-dev libgl-dev fonts-dejavu-core
    # orvane-cli --log journal, and a private journald for its test
    libsystemd-dev systemd
    # a private system bus for the sleep-inhibitor test (logind comes with systemd),
    # and udev, UDisks2 and polkit on it for orvane-cli's mounting test
    dbus udev udisks2 polkitd
    # Windows program: cross tool chains, Wine and a virtual display
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 wine32:i386 xvfb xauth x11-utils python3
    # the transfer on the kernel's own vfat driver, pulls and write records
    # (the guest loads its vfat and device-mapper modules with the host's insmod)
    user-mode-linux kmod mtools dosfstools dmsetup
    # the 32-bit Wine loader under user-mode emulation, where the kernel
    # does not run i386 code
    qemu-user-static
    # camera cards formatted exFAT and FAT32, mounted through FUSE; a FUSE
    # folder of the tests' own that stops answering, as a hung card reader,
    # and one at a card's pace for the Windows program's card bench
    exfat-fuse exfatprogs fusefat libfuse3-dev
    # real volumes on loop devices for the Linux program's root-only tests
    e2fsprogs util-linux
    # the release packages and their checks: dpkg-shlibdeps for the .deb's
    # dependencies, lintian, the AppStream metadata validator, the licence
    # headers' linter, and Authenticode signing with a throwaway certificate
    dpkg-dev lintian appstream reuse osslsigncode openssl
)
# tools/run.sh only builds and starts the Linux program.
if [ "${1:-}" = "--linux-program" ]; then
    packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
              qt6-base-dev libgl-dev fonts-dejavu-core libsystemd-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
