#!/bin/sh
# Builds a firmware upgrade package for the simulated board: the per-bank
# and fallback NOR images, platform_data.tar.gz, rootfs.tar.xz, the checksum
# list, all in one tar archive named upgrade_fm_<tag>.tar.
#
# Usage: makeUpgradePackage.sh OUT_DIR [options]
#   --tag T               package name suffix and image contents tag (default test)
#   --fallback-version N  first line of nor-image-version.img (default 1)
#   --no-rootfs           leave out rootfs.tar.xz
#   --no-platform         leave out platform_data.tar.gz
#   --bad-checksum        a checksum list that does not match
#   --truncate            cut the archive short
#   --bad-rootfs          a rootfs.tar.xz that is not an archive (listed
#                         correctly in the checksum list)
# Prints the archive's path.
set -eu
out=$1
shift
tag=test
fbver=1
rootfs=1
plat=1
badsum=0
truncate=0
badrootfs=0
while [ $# -gt 0 ]; do
    case "$1" in
    --tag) tag=$2; shift 2 ;;
    --fallback-version) fbver=$2; shift 2 ;;
    --no-rootfs) rootfs=0; shift ;;
    --no-platform) plat=0; shift ;;
    --bad-checksum) badsum=1; shift ;;
    --truncate) truncate=1; shift ;;
    --bad-rootfs) badrootfs=1; shift ;;
    *) echo "makeUpgradePackage: unknown option $1" >&2; exit 2 ;;
    esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg="$work/pkg"
mkdir -p "$pkg"
# An image holds its name and the tag, then a run of bytes so it spans
# more than one erase block.
image() {
    { printf '%s %s\n' "$1" "$tag"; head -c 140000 /dev/zero | tr '\000' "$2"; } > "$pkg/$1"
}
image fm_preloader_sys1.bin a
image fm_uboot_env_sys1.img b
image fm_uboot_sys1.img c
image fm_preloader_sys2.bin d
image fm_uboot_env_sys2.img e
image fm_uboot_sys2.img f
image fm_preloader_fb.bin g
image fm_uboot_env_fb.img h
image fm_uboot_fb.img i
image fm_fpga.img j
image linux.img k
image dtb.img l
image rootfs.img m
image fm_baremetal.bin n
printf '%s\n' "$fbver" > "$pkg/nor-image-version.img"
if [ "$plat" = 1 ]; then
    mkdir -p "$work/plat/fpga" "$work/plat/conf"
    printf 'fpga %s\n' "$tag" > "$work/plat/fpga/fm_fpga.img"
    printf 'platform %s\n' "$tag" > "$work/plat/conf/version"
    tar -czf "$pkg/platform_data.tar.gz" -C "$work/plat" .
fi
if [ "$rootfs" = 1 ]; then
    if [ "$badrootfs" = 1 ]; then
        printf 'not an archive\n' > "$pkg/rootfs.tar.xz"
    else
        mkdir -p "$work/root/etc/systemd" "$work/root/usr/bin"
        printf 'rootfs %s\n' "$tag" > "$work/root/etc/fw_version"
        printf '#RuntimeWatchdogSec=0\n#ShutdownWatchdogSec=10min\n' > "$work/root/etc/systemd/system.conf"
        printf 'corvane %s\n' "$tag" > "$work/root/usr/bin/corvane"
        tar -cJf "$pkg/rootfs.tar.xz" -C "$work/root" .
    fi
fi
(cd "$pkg" && md5sum -- * > checksum)
if [ "$badsum" = 1 ]; then
    sed -i '1s/^[0-9a-f]*/00000000000000000000000000000000/' "$pkg/checksum"
fi
archive="$out/upgrade_fm_$tag.tar"
mkdir -p "$out"
tar -cf "$archive" -C "$pkg" .
if [ "$truncate" = 1 ]; then
    size=$(wc -c < "$archive")
    head -c $((size / 2)) "$archive" > "$archive.cut" && mv "$archive.cut" "$archive"
fi
echo "$archive"
