#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Shows veskar-convert at work on a real NTFS volume.
#
#   scripts/demo.sh [BUILD_DIR]     (BUILD_DIR defaults to build/ in the repository)
#
# Makes a fresh 64 MiB NTFS image in a temporary folder, mounts it with ntfs-3g's Windows
# stream interface, converts the sample files of samples/ into it and prints each result.
# Then it unmounts the image and reads it back with ntfs-3g's own tools (ntfsls, ntfsinfo,
# ntfscat), independently of the converter, listing every output file with its streams,
# their sizes and the type and creator from AFP_AfpInfo. The image is unmounted and removed
# however the script ends.
#
# Needs root (or FUSE rights), ntfs-3g and mkntfs (Debian: apt-get install ntfs-3g).
# Exit status: 0 when every MacBinary sample was converted and the only failure was the
# sample that is no Macintosh file; 1 when the conversion went otherwise; 2 when the build
# or a tool is missing.
set -euo pipefail

export LC_ALL=C.UTF-8 # ntfs-3g's tools print names in the locale's encoding

say() { printf '%s\n' "$*"; }
fail() {
    say "demo.sh: $1" >&2
    exit "${2:-1}"
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo/scripts/ntfs_volume.sh"
build=${1:-$repo/build}
[[ -d $build ]] || fail "no build folder $build; build first: cmake -S . -B build -G Ninja && cmake --build build" 2
convert=$(cd "$build" && pwd)/veskar-convert
samples=$repo/samples

[[ -x $convert ]] || fail "no $convert; build first: cmake -S . -B build -G Ninja && cmake --build build" 2
for tool in truncate mkntfs ntfs-3g ntfsls ntfsinfo ntfscat mountpoint; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian: apt-get install ntfs-3g)" 2
done
[[ -r /dev/fuse && -w /dev/fuse ]] || fail "/dev/fuse is not usable, so ntfs-3g cannot mount" 2

work=$(mktemp -d "${TMPDIR:-/tmp}/veskar-demo-XXXXXX")
image=$work/volume.img
mnt=$work/mnt

cleanup() {
    ntfs_unmount_all
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say "== Making a 64 MiB NTFS volume in $image"
ntfs_volume_up "$image" 64 "$mnt" VESKAR-DEMO

# Every file of samples/ but the generator's own.
sources=()
for file in "$samples"/*; do
    case ${file##*/} in
        CMakeLists.txt | *.cpp | *.md) ;;
        *) [[ -f $file ]] && sources+=("$file") ;;
    esac
done
((${#sources[@]} > 0)) || fail "no sample files in $samples"

say ""
# Run from samples/ with relative source paths, as a user there would type them.
say "== Converting the samples: cd samples && veskar-convert TARGET SAMPLE..."
status=0
(cd "$samples" && "$convert" "$mnt" "${sources[@]##*/}") 2>&1 | sed 's/^/   /' || status=$?
say "   exit status $status"

ntfs_unmount "$mnt"

# --- Reading the volume back ---------------------------------------------------------------

# Type and creator: bytes 16..23 of the 60-byte record, unprintable bytes shown as '.'.
type_creator_of() {
    local record
    record=$(ntfs_cat "$image" "/$1" AFP_AfpInfo | od -An -v -tx1 | tr -d ' \n')
    if [[ ${#record} -ne 120 || ${record:0:8} != 41465000 ]]; then
        printf '%s\n' "-" "-"
        return
    fi
    local hex=${record:32:16} text="" i byte
    for ((i = 0; i < 16; i += 2)); do
        byte=$((16#${hex:i:2}))
        if ((byte >= 32 && byte < 127)); then
            text+=$(printf '%b' "\\x${hex:i:2}")
        else
            text+=.
        fi
    done
    printf '%s\n' "${text:0:4}" "${text:4:4}"
}

# Pads by characters, not bytes, so that names in UTF-8 line up.
cell() { printf '%s%*s' "$1" $(($2 - ${#1})) ''; }

mapfile -t outputs < <(ntfsls -f -F "$image" | grep -v '/$' || true)

say ""
say "== Output files, read back from the unmounted image with ntfsls, ntfsinfo and ntfscat"
width=4
for name in "${outputs[@]}"; do ((${#name} > width)) && width=${#name}; done
header="$(cell FILE "$width")  $(cell DATA 8)  $(cell AFP_Resource 12)  $(cell AFP_AfpInfo 11)  TYPE  CREATOR"
say "   $header"
say "   $(printf '%*s' ${#header} '' | tr ' ' -)"
for name in "${outputs[@]}"; do
    data=- resource=- info=- others=""
    while read -r stream size; do
        case $stream in
            ::DATA) data=$size ;;
            AFP_Resource) resource=$size ;;
            AFP_AfpInfo) info=$size ;;
            *) others+=" $stream($size)" ;;
        esac
    done < <(ntfs_streams "$image" "/$name")
    mapfile -t tc < <(type_creator_of "$name")
    line="$(cell "$name" "$width")  $(cell "$data" 8)  $(cell "$resource" 12)  $(cell "$info" 11)  $(cell "${tc[0]}" 4)  ${tc[1]}"
    say "   $line${others:+  other streams:$others}"
done
say "   (sizes in bytes; '-' where a file has no such stream)"

# Each MacBinary sample makes one output; any other sample is refused, which makes the
# converter's exit status 1.
expected=0 refused=0
for file in "${sources[@]}"; do
    if [[ $file == *.bin ]]; then expected=$((expected + 1)); else refused=$((refused + 1)); fi
done
want_status=$((refused > 0 ? 1 : 0))
if ((status != want_status || ${#outputs[@]} != expected)); then
    fail "expected $expected outputs and exit status $want_status; got ${#outputs[@]} and $status"
fi
say ""
say "== Done: $expected MacBinary samples converted, $refused other sample(s) refused"
