# SPDX-License-Identifier: Apache-2.0
# NTFS volumes in image files for the scripts, sourced by them: made with mkntfs, mounted with
# ntfs-3g's Windows stream interface (so that "FILE:AFP_Resource" opens a named stream),
# unmounted, and read back from the unmounted image with ntfs-3g's own tools, independently
# of the converter.
#
#   ntfs_volume_up IMAGE MEGABYTES FOLDER [LABEL]   make an image and mount it on FOLDER
#   ntfs_unmount FOLDER                             unmount it before reading the image back
#   ntfs_unmount_all                                undo every mount still there (EXIT trap)
#   ntfs_cat IMAGE PATH [STREAM]                    a file's data, or one named stream
#   ntfs_streams IMAGE PATH                         a file's data streams, "NAME SIZE" a line
#
# Every mount made here is remembered in ntfs_mounts until it is undone, so that a script's
# cleanup leaves no mount and no ntfs-3g process behind however it ends.

ntfs_mounts=()

# A fresh NTFS image of MEGABYTES MiB: IMAGE MEGABYTES [LABEL]. mkntfs's messages are shown
# only when it fails.
ntfs_make() {
    local image=$1 megabytes=$2 label=${3:-} log
    truncate -s "${megabytes}M" "$image" || return
    if ! log=$(mkntfs -Q -F ${label:+-L "$label"} "$image" 2>&1); then
        printf '%s\n' "$log" >&2
        printf 'mkntfs failed for %s\n' "$image" >&2
        return 1
    fi
}

# Mounts an image on a folder, made when missing: IMAGE FOLDER.
ntfs_mount() {
    mkdir -p "$2" || return
    ntfs-3g -o streams_interface=windows "$1" "$2" || return
    ntfs_mounts+=("$2")
}

ntfs_volume_up() { # IMAGE MEGABYTES FOLDER [LABEL]
    ntfs_make "$1" "$2" "${4:-}" || return
    ntfs_mount "$1" "$3"
}

ntfs_forget() { # FOLDER: no longer one of ntfs_mounts
    local kept=() mnt
    for mnt in "${ntfs_mounts[@]}"; do [[ $mnt == "$1" ]] || kept+=("$mnt"); done
    ntfs_mounts=("${kept[@]}")
}

# Unmounts a folder on the script's way: a failure is the caller's (under set -e, the end).
ntfs_unmount() {
    umount "$1" || return
    ntfs_forget "$1"
}

# Unmounts a folder whatever holds it: ntfs-3g may still be busy for a moment after the last
# process inside has gone, so it is tried again, then detached lazily.
ntfs_unmount_firmly() {
    local wait
    mountpoint -q "$1" 2>/dev/null || return 0
    umount "$1" 2>/dev/null && return
    for wait in 0.5 1.5; do
        sleep "$wait"
        umount "$1" 2>/dev/null && return
    done
    umount -l "$1" 2>/dev/null || true
}

ntfs_unmount_all() {
    local mnt
    for mnt in "${ntfs_mounts[@]}"; do ntfs_unmount_firmly "$mnt"; done
    ntfs_mounts=()
}

# The bytes of a file on an unmounted image, or of one of its named streams: IMAGE PATH
# [STREAM], PATH from the volume's root ("/folder/name").
ntfs_cat() {
    if [[ -n ${3:-} ]]; then
        ntfscat -f -a 0x80 -n "$3" "$1" "$2" 2>/dev/null
    else
        ntfscat -f "$1" "$2" 2>/dev/null
    fi
}

# The data streams of a file on an unmounted image, one "NAME SIZE" a line in the order of
# the file's record, the unnamed one as "::DATA": IMAGE PATH.
ntfs_streams() {
    ntfsinfo -f -F "$2" "$1" 2>/dev/null | awk '
        /^Dumping attribute/ {
            if (inData) print name, size
            inData = index($0, "$DATA") > 0; name = "::DATA"; size = 0; next
        }
        inData && /Attribute name:/ {
            named = $0; sub(/^[^'\'']*'\''/, "", named); sub(/'\''[^'\'']*$/, "", named)
            if (named != "") name = named
        }
        inData && /^[ \t]*Data size:/ { size = $3 }
        END { if (inData) print name, size }'
}
