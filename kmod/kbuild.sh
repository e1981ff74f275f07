#!/usr/bin/env bash
# Builds tarn_amp.ko with kbuild against Debian's kernel headers, outside the
# checkout, with warnings as errors, and checks what it built.
#
#   kmod/kbuild.sh OUT amd64   this machine's kernel headers (linux-headers-amd64)
#   kmod/kbuild.sh OUT armhf   the board: Debian's armmp headers, cross-compiled
#
# The module is written to OUT/<arch>/tarn_amp.ko. It is never loaded here.
#
# armhf: the armmp headers cannot be installed next to the amd64 tool chain
# (their compiler package pulls gcc-12:armhf, which conflicts with the amd64
# binutils), so they are fetched with apt-get download and unpacked into a
# cache. The kbuild tools of the amd64 linux-kbuild package serve, except
# modpost: Debian builds it with the device-table layouts of its own
# architecture (of_device_id is 200 bytes on amd64, 196 on ARM), so the ARM
# build of modpost from linux-kbuild:armhf runs under qemu-arm in its place.
# The cache ($CORVANE_KMOD_CACHE, else ~/.cache/corvane/kmod) holds one
# version, about 10 MB; it is refilled when the headers' version changes.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: kmod/kbuild.sh OUT amd64|armhf}
arch=${2:?usage: kmod/kbuild.sh OUT amd64|armhf}

# The kernel ABI name (6.1.0-57) of the amd64 headers that are installed.
abi=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 | sed -n 's/^linux-headers-\([0-9.]*-[0-9]*\)-amd64.*/\1/p')
[ -n "$abi" ] || { echo "kbuild.sh: linux-headers-amd64 is not installed" >&2; exit 1; }
kbuild_pkg=$(dpkg-query -W -f='${Depends}' "linux-headers-$abi-amd64" | grep -o 'linux-kbuild-[0-9.]*' | head -n1)
kbuild_ver=$(dpkg-query -W -f='${Version}' "$kbuild_pkg")

case "$arch" in
amd64)
    headers=/usr/src/linux-headers-$abi-amd64
    make_args=()
    objcopy=objcopy
    ;;
armhf)
    cache=${CORVANE_KMOD_CACHE:-${HOME:-/root}/.cache/corvane/kmod}
    tree=$cache/armhf-$kbuild_ver
    if [ ! -e "$tree/.complete" ]; then
        rm -rf "$cache"/armhf-*
        mkdir -p "$tree/debs"
        # The headers and kbuild tools of the same version as the amd64 ones,
        # whose common part (linux-headers-<abi>-common) they share.
        (cd "$tree/debs" && timeout 300 apt-get download -q \
            "linux-headers-$abi-armmp:armhf=$kbuild_ver" "$kbuild_pkg:armhf=$kbuild_ver" 2>&1 |
            grep -v '^W: Download is performed unsandboxed' || true)
        for deb in "$tree"/debs/linux-headers-*.deb; do dpkg-deb -x "$deb" "$tree/root"; done
        for deb in "$tree"/debs/linux-kbuild-*.deb; do dpkg-deb -x "$deb" "$tree/arm"; done
        [ -d "$tree/root/usr/src/linux-headers-$abi-armmp" ] && [ -d "$tree/arm/usr/lib/$kbuild_pkg" ] ||
            { echo "kbuild.sh: could not fetch the armhf headers $abi ($kbuild_ver)" >&2; exit 1; }
        # The headers' scripts link points at ../../lib/<kbuild>/scripts:
        # the amd64 tools, with the ARM modpost for 32-bit little-endian.
        mkdir -p "$tree/root/usr/lib"
        cp -a "/usr/lib/$kbuild_pkg" "$tree/root/usr/lib/"
        printf '#!/bin/sh\nexec qemu-arm -L /usr/arm-linux-gnueabihf %s "$@"\n' \
            "$tree/arm/usr/lib/$kbuild_pkg/scripts/mod/modpost.real-lsb-32" \
            >"$tree/root/usr/lib/$kbuild_pkg/scripts/mod/modpost.real-lsb-32"
        rm -rf "$tree/debs"
        touch "$tree/.complete"
    fi
    headers=$tree/root/usr/src/linux-headers-$abi-armmp
    make_args=(ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf-)
    objcopy=arm-linux-gnueabihf-objcopy
    ;;
*)
    echo "kbuild.sh: unknown architecture $arch (amd64 or armhf)" >&2
    exit 2
    ;;
esac

# kbuild writes its objects beside the sources: build a copy.
dir=$(mkdir -p "$out/$arch" && cd "$out/$arch" && pwd)
rm -rf "${dir:?}"/*
cp "$here"/Kbuild "$here"/*.c "$here"/*.h "$dir/"
log=$dir/build.log
if ! make -C "$headers" M="$dir" "${make_args[@]}" modules >"$log" 2>&1; then
    cat "$log"
    echo "kbuild.sh: $arch build of tarn_amp failed" >&2
    exit 1
fi
if grep -i 'warning' "$log"; then
    echo "kbuild.sh: $arch build of tarn_amp has warnings" >&2
    exit 1
fi

ko=$dir/tarn_amp.ko
"$objcopy" -O binary --only-section=.modinfo "$ko" "$dir/modinfo.bin"
tr '\0' '\n' <"$dir/modinfo.bin" | grep -v '^$' >"$dir/modinfo.txt"
for field in 'description=Tarn AMP System module' 'version=0' 'license=GPL v2' 'alias=of:N\*T\*Caltr,tarn_amp'; do
    grep -q "^$field" "$dir/modinfo.txt" || { echo "kbuild.sh: $ko has no $field in .modinfo" >&2; exit 1; }
done
if [ "$arch" = armhf ]; then
    readelf -h "$ko" >"$dir/elf.txt"
    grep -q 'Class: *ELF32' "$dir/elf.txt" && grep -q 'Type: *REL' "$dir/elf.txt" &&
        grep -q 'Machine: *ARM' "$dir/elf.txt" ||
        { cat "$dir/elf.txt"; echo "kbuild.sh: $ko is not an ARM relocatable ELF" >&2; exit 1; }
fi
echo "tarn_amp.ko ($arch, $(sed -n 's/^vermagic=//p' "$dir/modinfo.txt")): $ko"
