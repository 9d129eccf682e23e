#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Wrapping a Mac file for the road: one MacBinary source with a data fork of FORK_MIB MiB
# (random bytes with runs mixed in, as the BinHex bench's) and a resource fork of 1 MiB, in
# memory (/dev/shm), written into a fresh ext4 file system as
#   BinHex 4.0 (--layout binhex), beside macutils' binhex, the peer encoder, of the same file;
#   MacBinary III and AppleSingle (--layout macbinary, applesingle), beside cat of the source,
#   the same bytes, into the same folder.
# Each time is the median of RUNS, the writes synced.
#   bench/wrapping_bench.sh [BUILD_DIR] [FORK_MIB] [RUNS]
# As root (a loop mount); needs mkfs.ext4, python3, bc, GNU time and macutils, which
# `. scripts/deps.sh; veskar_install e2fsprogs python3 bc time macutils` installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
mib=${2:-64}
runs=${3:-5}
convert="$build/veskar-convert"
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }
for tool in mkfs.ext4 python3 bc binhex; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

bench_start veskar-wrapping
images=$(mktemp -d /dev/shm/veskar-wrapping-XXXXXX)
target="$work/target"
mkdir -p "$target"
trap 'mountpoint -q "$target" && umount "$target"; rm -rf "$images"; bench_cleanup' EXIT
truncate -s $((mib * 3 + 256))M "$images/ext4.img"
mkfs.ext4 -q -F "$images/ext4.img"
mount -o loop,noatime "$images/ext4.img" "$target"

source="$images/Bench.bin"
python3 - "$source" "$mib" <<'PY'
import random, struct, sys
path, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
def fork(size):
    out = bytearray(b''.join(rng.randbytes(1 << 20) for _ in range(size >> 20)) +
                    rng.randbytes(size & ((1 << 20) - 1)))
    at = rng.randrange(1024)
    while at < size:
        length = min(3 + rng.randrange(598), size - at)
        byte = 0x90 if rng.randrange(4) == 0 else rng.randrange(256)
        out[at:at + length] = bytes([byte]) * length
        at += 512 + rng.randrange(1024)
    return bytes(out)
data, resource = fork(mib << 20), fork(1 << 20)
header = bytearray(128)
header[1] = 5
header[2:7] = b'Bench'
header[65:73] = b'BINAbnch'
struct.pack_into('>II', header, 83, len(data), len(resource))
pad = lambda b: b + bytes(-len(b) % 128)
with open(path, 'wb') as out:
    out.write(bytes(header) + pad(data) + pad(resource))
PY

timed() {  # label command...
    local label=$1 times=()
    shift
    for _ in $(seq "$runs"); do
        find "$target" -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +
        sync
        times+=("$(seconds "$@")")
    done
    printf '%s\n' "${times[@]}" | median
}

echo "source: $(stat -c %s "$source") bytes, median of $runs runs, writes synced"
ours_hqx=$(timed binhex "$convert" -q --layout binhex "$target" "$source")
theirs_hqx=$(timed macutils sh -c "binhex '$source' > '$target/Bench.hqx'")
ours_bin=$(timed macbinary "$convert" -q --layout macbinary "$target" "$source")
ours_as=$(timed applesingle "$convert" -q --layout applesingle "$target" "$source")
cat_bin=$(timed cat sh -c "cat '$source' > '$target/copy'")
printf 'binhex      veskar-convert %6.3f s   macutils binhex %6.3f s   ratio %.2f (goal <= 0.5)\n' \
    "$ours_hqx" "$theirs_hqx" "$(echo "$ours_hqx / $theirs_hqx" | bc -l)"
printf 'macbinary   veskar-convert %6.3f s   cat             %6.3f s   ratio %.2f (goal <= 1.05)\n' \
    "$ours_bin" "$cat_bin" "$(echo "$ours_bin / $cat_bin" | bc -l)"
printf 'applesingle veskar-convert %6.3f s   cat             %6.3f s   ratio %.2f (goal <= 1.05)\n' \
    "$ours_as" "$cat_bin" "$(echo "$ours_as / $cat_bin" | bc -l)"
