#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian package on a fresh Debian 12 and uses it there as a user would.
#
#   scripts/check-package-fresh.sh [BUILD_DIR]     (as root; BUILD_DIR defaults to build/)
#
# Makes a minimal Debian 12 (bookworm) root with debootstrap, installs the package that
# cpack builds from BUILD_DIR with apt-get inside it (without recommended packages, so the
# Depends line alone must carry everything the programs need), and there runs
# veskar-convert --version, looks for the man page, the desktop entry and the icon where the
# package puts them, converts a MacBinary and a BinHex file into an NTFS volume, and starts
# the window on Qt's offscreen platform. The volume is an mkntfs image mounted on this
# machine with ntfs-3g's Windows stream interface and bound into the root; the outputs are
# read back here afterwards with ntfs-3g's own tools, byte for byte where the source says
# what they must be. Every mount is undone however the script ends.
#
# The BinHex file is a genuine one from the shared samples (../shared/samples beside the
# project, or VESKAR_SAMPLES). The Debian mirror is debootstrap's own unless
# VESKAR_DEBIAN_MIRROR names another. It takes minutes (the root is made anew each time),
# so the test command does not run it.
set -euo pipefail
export LC_ALL=C.UTF-8 # ntfs-3g's tools and the chroot print names in UTF-8

say() { printf '%s\n' "$*"; }
fail() {
    say "check-package-fresh.sh: $1" >&2
    exit "${2:-1}"
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo/scripts/ntfs_volume.sh"
build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || fail "no build folder ${1:-$repo/build}" 2
samples=${VESKAR_SAMPLES:-$repo/../shared/samples}
macbinary=$repo/samples/Icon\ Tool.bin
binhex=$samples/binhex/4x6.hqx
[[ -f $binhex ]] || fail "no BinHex sample $binhex (set VESKAR_SAMPLES to the shared samples)" 2
[[ $(id -u) -eq 0 ]] || fail "needs root: debootstrap, chroot and the mounts" 2
for tool in debootstrap cpack dpkg-deb chroot mkntfs ntfs-3g ntfscat ntfsinfo findmnt; do
    command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install debootstrap ntfs-3g)" 2
done

started=$SECONDS
work=$(mktemp -d "${TMPDIR:-/tmp}/veskar-fresh-XXXXXX")
root=$work/root
image=$work/volume.img
mnt=$work/mnt

# Mounts below the work folder, deepest first.
mounts_below_work() {
    findmnt -rn -o TARGET | awk -v w="$work/" 'index($0 "/", w) == 1' | sort -r
}
cleanup() {
    local point
    while read -r point; do
        [[ -n $point ]] || continue
        ntfs_unmount_firmly "$point"
    done < <(mounts_below_work)
    # Never remove files through a mount that is still there (/dev is bound into the root).
    if [[ -n $(mounts_below_work) ]]; then
        say "check-package-fresh.sh: still mounted, $work left as it is:" >&2
        mounts_below_work >&2
        return
    fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
step() { say "== $1 ($((SECONDS - started)) s)"; }

step "Building the package from $build"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
deb=$(ls "$work"/out/veskar_*.deb)
say "   $(basename "$deb"); Depends: $(dpkg-deb -f "$deb" Depends)"

step "Making a fresh Debian 12 root with debootstrap --variant=minbase"
# shellcheck disable=SC2086 # the mirror is one optional word
debootstrap --variant=minbase bookworm "$root" ${VESKAR_DEBIAN_MIRROR:-} >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log" >&2
    fail "debootstrap failed"
}
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf"

step "Installing it: apt-get install -y --no-install-recommends ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get update failed"; }
in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$(basename "$deb")" \
    >>"$work/apt.log" 2>&1 || { tail -30 "$work/apt.log" >&2; fail "the package does not install"; }
say "   $(grep -c '^Setting up' "$work/apt.log") packages set up"

step "veskar-convert --version, and the files where the package puts them"
version=$(in_root veskar-convert --version)
[[ $version =~ ^veskar-convert\ [0-9.]+$ ]] || fail "version: $version"
say "   $version"
listed=$(in_root dpkg -L veskar)
for file in /usr/bin/veskar /usr/bin/veskar-convert /usr/share/man/man1/veskar-convert.1 \
    /usr/share/applications/veskar.desktop /usr/share/icons/hicolor/scalable/apps/veskar.svg; do
    grep -qxF "$file" <<<"$listed" || fail "the package does not list $file"
    [[ -s $root$file ]] || fail "$file is not installed"
done
page=$(head -c 4096 "$root/usr/share/man/man1/veskar-convert.1")
[[ $page == *".TH VESKAR-CONVERT"* ]] || fail "the man page has no title line"
desktop=$root/usr/share/applications/veskar.desktop
# The entry names the program on the PATH and the icon by the name it is installed under.
exec_line=$(grep -m1 '^Exec=' "$desktop")
icon_line=$(grep -m1 '^Icon=' "$desktop")
[[ -x $root/usr/bin/${exec_line#Exec=} ]] || fail "the desktop entry runs ${exec_line#Exec=}, which is not installed"
[[ -f $root/usr/share/icons/hicolor/scalable/apps/${icon_line#Icon=}.svg ]] ||
    fail "the desktop entry's icon ${icon_line#Icon=} is not installed"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
fi
say "   man page, $exec_line, $icon_line: in place"

step "Converting a MacBinary and a BinHex file into an ntfs-3g mount bound into the root"
ntfs_volume_up "$image" 32 "$mnt" VESKAR-FRESH
mkdir "$root/mnt/ntfs" "$root/tmp/sources"
mount --bind "$mnt" "$root/mnt/ntfs"
mkdir "$mnt/out"
cp "$macbinary" "$binhex" "$root/tmp/sources/"
converted=$(in_root veskar-convert --json /mnt/ntfs/out "/tmp/sources/Icon Tool.bin" \
    /tmp/sources/4x6.hqx 2>"$work/convert.log") || {
    cat "$work/convert.log" >&2
    fail "veskar-convert failed inside the root: $converted"
}
say "$converted" | sed 's/^/   /'
sed 's/^/   /' "$work/convert.log"
[[ $(grep -c '"result": "converted"' <<<"$converted") -eq 2 ]] || fail "not both converted"
umount "$root/mnt/ntfs"
ntfs_unmount "$mnt"

# Read back from the unmounted image, independently of the converter.
stream() { ntfs_cat "$image" "/out/$1" "${2:-}"; }
# Bytes [from, from + count) of a file, in hex.
hex_of() { od -An -v -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'; }
stream_hex() { stream "$1" "${2:-}" | od -An -v -tx1 | tr -d ' \n'; }
be32() { echo $((16#$(hex_of "$1" "$2" 4))); }

# MacBinary: the forks follow the 128-byte header, each padded to 128 bytes; the type and
# creator are header bytes 65..72 and bytes 16..23 of AFP_AfpInfo.
data_len=$(be32 "$macbinary" 83)
rsrc_len=$(be32 "$macbinary" 87)
rsrc_at=$((128 + (data_len + 127) / 128 * 128))
[[ $(stream_hex "Icon Tool") == "$(hex_of "$macbinary" 128 "$data_len")" ]] || fail "Icon Tool: the data fork differs"
[[ $(stream_hex "Icon Tool" AFP_Resource) == "$(hex_of "$macbinary" "$rsrc_at" "$rsrc_len")" ]] ||
    fail "Icon Tool: AFP_Resource differs"
info=$(stream_hex "Icon Tool" AFP_AfpInfo)
[[ ${#info} -eq 120 && ${info:0:8} == 41465000 ]] || fail "Icon Tool: no 60-byte AFP_AfpInfo"
[[ ${info:32:16} == "$(hex_of "$macbinary" 65 8)" ]] || fail "Icon Tool: the type and creator differ"
say "   Icon Tool: data $data_len and resource $rsrc_len bytes as in the source, $(stream "Icon Tool" AFP_AfpInfo | cut -b17-24)"

# BinHex: the font suitcase carries only a resource fork.
info=$(stream_hex Fixed.fam.rsrc AFP_AfpInfo)
[[ ${#info} -eq 120 && ${info:0:8} == 41465000 ]] || fail "Fixed.fam.rsrc: no 60-byte AFP_AfpInfo"
rsrc_bytes=$(stream Fixed.fam.rsrc AFP_Resource | wc -c)
data_bytes=$(stream Fixed.fam.rsrc | wc -c)
((rsrc_bytes > 0 && data_bytes == 0)) || fail "Fixed.fam.rsrc: data $data_bytes, resource $rsrc_bytes bytes"
streams=$(ntfs_streams "$image" /out/Fixed.fam.rsrc | grep -c '^AFP_')
[[ $streams -eq 2 ]] || fail "Fixed.fam.rsrc: $streams named streams, not 2"
say "   Fixed.fam.rsrc: resource $rsrc_bytes bytes, no data, $(stream Fixed.fam.rsrc AFP_AfpInfo | cut -b17-24)"

step "Starting veskar on the offscreen platform for 3 seconds"
status=0
in_root sh -c 'QT_QPA_PLATFORM=offscreen QT_DEBUG_PLUGINS=1 timeout 3 veskar' >"$work/window.log" 2>&1 ||
    status=$?
[[ $status -eq 124 ]] || { tail -20 "$work/window.log" >&2; fail "veskar ended with status $status before the timeout"; }
# The icon is an SVG: without Qt's SVG plugins the window would come up without it.
grep -q 'libqsvgicon\.so" loaded library' "$work/window.log" ||
    fail "veskar did not load Qt's SVG icon engine for its icon"
say "   still running at the timeout (status 124), icon engine loaded"

say "== Everything passed in $((SECONDS - started)) s"
