#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Converting a large MacBinary file into an ntfs-3g mount, beside cat and dd bs=40960 of the
# same bytes into the same mount, plus peak memory for a small and a large file.
#   bench/macbinary_bench.sh [BUILD_DIR] [DATA_MIB] [RESOURCE_MIB] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
data_mib=${2:-256}
rsrc_mib=${3:-16}
runs=${4:-3}
convert="$build/veskar-convert"
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }

bench_start veskar-bench

# A MacBinary file: the 128-byte header, the data fork padded to 128, the resource fork.
make_macbinary() {  # path data_bytes rsrc_bytes
    local path=$1 d=$2 r=$3
    {
        printf '\x00\x05Bench'
        head -c $((65 - 7)) /dev/zero
        printf 'BINAbnch'
        head -c $((83 - 73)) /dev/zero
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((d >> 24 & 255)) $((d >> 16 & 255)) $((d >> 8 & 255)) $((d & 255)))"
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((r >> 24 & 255)) $((r >> 16 & 255)) $((r >> 8 & 255)) $((r & 255)))"
        head -c $((128 - 91)) /dev/zero
        head -c "$d" /dev/urandom
        head -c $(((128 - d % 128) % 128)) /dev/zero
        head -c "$r" /dev/urandom
    } >"$path"
}

data=$((data_mib << 20))
rsrc=$((rsrc_mib << 20))
make_macbinary "$work/big.bin" "$data" "$rsrc"
make_macbinary "$work/small.bin" $((1 << 20)) $((64 << 10))
size=$(stat -c %s "$work/big.bin")

ntfs_volume_up "$work/volume.img" $(((data_mib + rsrc_mib) * 3 + 256)) "$mnt"
cat "$work/big.bin" >/dev/null  # the source comes from the page cache in every run


ours=() cats=() dds=()
for ((i = 0; i < runs; i++)); do
    ours+=("$(seconds "$convert" -q -f macbinary "$mnt" "$work/big.bin")")
    rm -f "$mnt/Bench"
    cats+=("$(seconds sh -c "cat '$work/big.bin' > '$mnt/cat.out'")")
    rm -f "$mnt/cat.out"
    dds+=("$(seconds dd if="$work/big.bin" of="$mnt/dd.out" bs=40960 status=none)")
    rm -f "$mnt/dd.out"
done
t_ours=$(printf '%s\n' "${ours[@]}" | median)
t_cat=$(printf '%s\n' "${cats[@]}" | median)
t_dd=$(printf '%s\n' "${dds[@]}" | median)

rss() {  # file -> peak RSS in KiB of one conversion
    /usr/bin/time -f %M "$convert" -q -f macbinary "$mnt" "$1" 2>&1 >/dev/null | tail -n 1
    rm -f "$mnt/Bench"
}
rss_small=$(rss "$work/small.bin")
rss_big=$(rss "$work/big.bin")

printf 'source: %d MiB data + %d MiB resource (%d bytes), median of %d runs\n' \
    "$data_mib" "$rsrc_mib" "$size" "$runs"
printf '  veskar-convert   %6.2f s  %7.1f MB/s\n' "$t_ours" "$(echo "$size / $t_ours / 1000000" | bc -l)"
printf '  dd bs=40960      %6.2f s  %7.1f MB/s\n' "$t_dd" "$(echo "$size / $t_dd / 1000000" | bc -l)"
printf '  cat              %6.2f s  %7.1f MB/s\n' "$t_cat" "$(echo "$size / $t_cat / 1000000" | bc -l)"
printf '  ours / dd bs=40960 = %.3f   ours / cat = %.3f\n' \
    "$(echo "$t_ours / $t_dd" | bc -l)" "$(echo "$t_ours / $t_cat" | bc -l)"
printf '  peak RSS: %d KiB for 1 MiB, %d KiB for %d MiB\n' "$rss_small" "$rss_big" "$data_mib"
