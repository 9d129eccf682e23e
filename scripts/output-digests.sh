#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Prints a digest of everything veskar-convert writes for the bundled and the shared sample
# files, one line per output stream, so that the outputs of two builds can be compared:
#
#   scripts/output-digests.sh BUILD_DIR > before.txt   (and again after a change, then diff)
#
# Every sample is converted in one run per way of converting (auto, --strict) into its own
# folder of a fresh ntfs-3g mount (streams_interface=windows); each output file, its
# AFP_Resource and its AFP_AfpInfo stream are listed with their size and SHA-256, together
# with each source's result line. Then once per server layout (fruit, appledouble,
# streams-xattr) into a folder of the temporary folder's file system (it must take user
# attributes): each file and each of its user attributes, netatalk's with its dates masked,
# since they are the moment of conversion. Needs root (FUSE), ntfs-3g, mkntfs and getfattr.
set -euo pipefail
export LC_ALL=C.UTF-8

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo/scripts/ntfs_volume.sh"
build=$(cd "${1:?usage: output-digests.sh BUILD_DIR}" && pwd)
convert=$build/veskar-convert
[[ -x $convert ]] || { echo "output-digests.sh: no $convert" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/veskar-digests-XXXXXX")
mnt=$work/mnt
cleanup() {
    ntfs_unmount_all
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ntfs_volume_up "$work/volume.img" 64 "$mnt"

# Relative to the repository, so that the lines of two checkouts compare.
cd "$repo"
sources=(samples/*.bin samples/not-a-mac-file.txt)
if [[ -d ../shared/samples ]]; then
    while IFS= read -r -d '' file; do
        sources+=("$file")
    done < <(find ../shared/samples -type f ! -name '._*' ! -name SOURCES.txt -print0 | sort -z)
fi

digest() { # FILE: size and SHA-256, or "-" when it is not there
    if [[ -e $1 ]]; then
        printf '%s %s' "$(stat -c %s "$1")" "$(sha256sum <"$1" | cut -c1-64)"
    else
        printf -- '-'
    fi
}

for way in auto strict; do
    options=()
    [[ $way == strict ]] && options=(--strict)
    mkdir "$mnt/$way"
    echo "== $way"
    "$convert" --json "${options[@]}" "$mnt/$way" "${sources[@]}" 2>/dev/null |
        sed "s|$mnt/||g" || true
    while IFS= read -r -d '' file; do
        name=${file#"$mnt/"}
        echo "$name | data $(digest "$file") | rsrc $(digest "$file:AFP_Resource") | info $(digest "$file:AFP_AfpInfo")"
    done < <(find "$mnt/$way" -type f -print0 | sort -z)
done

# The attribute's value as hexadecimal, for the server layouts.
attribute_hex() { # FILE NAME
    getfattr --only-values -n "$2" "$1" 2>/dev/null | od -An -v -tx1 | tr -d ' \n'
}

for layout in fruit appledouble streams-xattr; do
    out=$work/$layout
    mkdir "$out"
    echo "== $layout"
    "$convert" --json --layout "$layout" "$out" "${sources[@]}" 2>/dev/null |
        sed "s|$out/||g" || true
    while IFS= read -r -d '' file; do
        name=${file#"$work/"}
        line="$name | data $(digest "$file")"
        while IFS= read -r attribute; do
            [[ -n $attribute ]] || continue
            value=$(attribute_hex "$file" "$attribute")
            # netatalk's dates (16 bytes at 354) are the moment of conversion.
            [[ $attribute == user.org.netatalk.Metadata ]] &&
                value=${value:0:708}MASKED${value:740}
            line+=" | $attribute $(printf '%s' "$value" | sha256sum | cut -c1-64)"
        done < <(getfattr --absolute-names -m '^user\.' "$file" 2>/dev/null |
            grep -v '^#' | sort)
        echo "$line"
    done < <(find "$out" -type f -print0 | sort -z)
done
