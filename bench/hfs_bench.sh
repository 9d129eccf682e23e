#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Mac files into a new HFS disk image, `veskar-convert --layout hfs`, beside hfsutils (the peer
# that makes HFS images) doing the same:
#   (1) FILES MacBinary II files of 1 to 64 KiB (sizes and bytes from a fixed seed, every second
#       file with a resource fork) in one folder, `veskar-convert -r --layout hfs --image-size
#       200M IMAGE FOLDER`, beside hformat of a 200M image (which leaves it mounted) and one
#       `hcopy -m` a file, as a script copies them, then humount; and beside one `hcopy -m` of
#       all the files, hfsutils at its fastest;
#   (2) one MacBinary II file with a 100 MiB data fork into a new 200M image, beside `cat` of
#       the same file into a file in the same folder (and hformat with one `hcopy -m`).
# Each time is the median of RUNS, the writes synced; the sources are read from the page cache,
# the images and the copy written in one folder on one disk. Each image is then listed by
# hfsutils, which must find every file in it.
#   bench/hfs_bench.sh [BUILD_DIR] [FILES] [RUNS]
# Needs python3, bc, GNU time and hfsutils, which
# `. scripts/deps.sh; veskar_install python3 bc time hfsutils` installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
files=${2:-2000}
runs=${3:-3}
convert="$build/veskar-convert"
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }
for tool in python3 bc hformat hcopy hls hvol humount; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

bench_start veskar-hfs
# hfsutils keeps the volume it works on in $HOME/.hcwd: a HOME of the bench's own.
export HOME="$work/home"
mkdir -p "$HOME" "$work/batch" "$work/out"
image="$work/out/bench.img"

# MacBinary II files (with the header's CRC, which hcopy -m wants), "File NNNNN" each, its
# forks' sizes and bytes and its dates from a fixed seed: the same files at every call.
macbinary() {  # batch FOLDER COUNT | large FILE MIB
    python3 - "$@" <<'PY'
import binascii, os, random, struct, sys
mode, where, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
rng = random.Random(7)
def write(path, name, data, resource, created):
    head = bytearray(128)
    head[1] = len(name)
    head[2:2 + len(name)] = name
    head[65:73] = b"TEXTttxt" if len(resource) else b"BINAbnch"
    struct.pack_into(">IIII", head, 83, len(data), len(resource), created, created + 3600)
    head[122:124] = b"\x81\x81"
    struct.pack_into(">H", head, 124, binascii.crc_hqx(bytes(head[:124]), 0))
    pad = lambda n: bytes(-n % 128)
    with open(path, "wb") as out:
        out.write(bytes(head) + data + pad(len(data)) + resource + pad(len(resource)))
if mode == "large":
    write(where, b"Large", rng.randbytes(count << 20), b"", 3000000000)
    sys.exit()
os.makedirs(where, exist_ok=True)
for i in range(count):
    total = rng.randint(1024, 64 * 1024)
    resource = rng.randint(256, total // 4) if i % 2 == 0 else 0
    write(os.path.join(where, "f%05d.bin" % i), b"File %05d" % i,
          rng.randbytes(total - resource), rng.randbytes(resource), 3000000000 + i * 60)
PY
}
macbinary batch "$work/batch" "$files"
macbinary large "$work/large.bin" 100
cat "$work/batch"/* "$work/large.bin" >/dev/null  # into the page cache
bytes=$(du -sb --apparent-size "$work/batch" | cut -f1)

fresh_image() { rm -f "$image" "$work/out/copy"; sync; }
hfsutils_each() {  # the files one hcopy each
    truncate -s 200M "$image"
    hformat -l Bench "$image" >/dev/null
    local source
    for source in "$work/batch"/*.bin; do hcopy -m "$source" :; done
    humount
}
hfsutils_all() {  # the files in one hcopy
    truncate -s 200M "$image"
    hformat -l Bench "$image" >/dev/null
    hcopy -m "$work/batch"/*.bin :
    humount
}
hfsutils_large() {
    truncate -s 200M "$image"
    hformat -l Bench "$image" >/dev/null
    hcopy -m "$work/large.bin" :
    humount
}
# Every file of the run is in the image, as hfsutils lists it; its free bytes, as hvol says.
listed() {  # expected-count label
    local count free
    hmount "$image" >/dev/null
    count=$(hls -1a : | wc -l)
    free=$(hvol | sed -n 's/^Volume has \([0-9]*\) bytes free$/\1/p')
    humount
    [ "$count" -eq "$1" ] || { echo "$2: hfsutils lists $count files in the image, not $1" >&2; exit 1; }
    echo "$free"
}
declare -A elapsed free
timed() {  # key expected-count|- command...
    local key=$1 expected=$2
    shift 2
    for _ in $(seq "$runs"); do
        fresh_image
        elapsed[$key]+="$(seconds "$@") "
        [ "$expected" = - ] || free[$key]=$(listed "$expected" "$key")
    done
}
timed ours "$files" "$convert" -q -r --layout hfs --image-size 200M --volume-name Bench \
    "$image" "$work/batch"
timed each "$files" hfsutils_each
timed all "$files" hfsutils_all
timed ours_large 1 "$convert" -q --layout hfs --image-size 200M --volume-name Bench "$image" \
    "$work/large.bin"
timed hcopy_large 1 hfsutils_large
timed cat_large - sh -c "cat '$work/large.bin' > '$work/out/copy'"

med() { printf '%s\n' $1 | median; }
row() {  # label key
    local each
    each=$(printf '%.2f ' ${elapsed[$2]})
    printf '%-34s%7.2f s   (runs %s)%s\n' "$1" "$(med "${elapsed[$2]}")" "${each% }" \
        "${free[$2]:+, $((free[$2] / 1024)) KiB free}"
}
ratio() {  # label ours theirs
    printf '%-34s%7.2f\n' "$1" "$(echo "$(med "${elapsed[$2]}") / $(med "${elapsed[$3]}")" | bc -l)"
}
printf '(1) %d MacBinary files, %.1f MiB, into a new 200M image; median of %d runs, writes synced\n' \
    "$files" "$(echo "$bytes / 1048576" | bc -l)" "$runs"
row 'veskar-convert -r --layout hfs' ours
row 'hfsutils, one hcopy -m a file' each
row 'hfsutils, one hcopy -m of all' all
ratio 'ratio to one hcopy a file' ours each
ratio 'ratio to one hcopy of all' ours all
echo "(2) a 100 MiB data fork into a new 200M image"
row 'veskar-convert --layout hfs' ours_large
row 'hfsutils, hformat and hcopy -m' hcopy_large
row 'cat into a file' cat_large
ratio 'ratio to cat' ours_large cat_large
