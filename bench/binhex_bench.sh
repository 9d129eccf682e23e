#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The BinHex import in one run:
#  (a) the command line's one pass in memory (binhex_decode_speed), with its steps alone;
#  (b) the window's two decoding passes through files (binhex_bench);
#  (c) the whole import of a text of FORK_MIB MiB of fork data into an ntfs-3g mount beside
#      cat of the same .hqx file (and of the decoded fork) into the same mount, for the
#      text with runs and for one of random bytes alone, and peak memory for 1 MiB and
#      FORK_MIB MiB;
#  (d) the import into a folder of a fresh ext4 file system with --layout appledouble beside
#      base64 -d of a base64 text of the same size into the same folder.
#   bench/binhex_bench.sh [BUILD_DIR] [FORK_MIB] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
fork_mib=${2:-64}
runs=${3:-5}
convert="$build/veskar-convert"
bench="$build/bench/binhex_bench"
speed="$build/bench/binhex_decode_speed"
for program in "$convert" "$bench" "$speed"; do
    [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 2; }
done
command -v mkfs.ext4 >/dev/null || { echo "needs mkfs.ext4 (apt-get install e2fsprogs)" >&2; exit 2; }

bench_start veskar-bench
# The window's scratch files go here too, and are checked for below.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR" "$work/src" "$work/ext4"
image=$(mktemp -d /dev/shm/veskar-binhex-XXXXXX)/ext4.img
trap 'while mountpoint -q "$work/ext4"; do umount "$work/ext4" || break; done; rm -rf "$(dirname "$image")"; bench_cleanup' EXIT

echo "(a) the one pass in memory, one core:"
"$speed" "$fork_mib" 9 | sed 's/^/  /'
echo "(b) the window's two passes, file to file (bytes_per_second in MiB/s of text):"
"$bench" --fork-mib "$fork_mib" --benchmark_min_time=2 2>/dev/null | grep -E '^BM_' | sed 's/^/  /'

"$bench" --write "$work/src/big.hqx" "$fork_mib"
"$bench" --write "$work/src/plain.hqx" "$fork_mib" --no-runs
"$bench" --write "$work/src/small.hqx" 1
size=$(stat -c %s "$work/src/big.hqx")
ntfs_volume_up "$work/volume.img" $((fork_mib * 4 + 256)) "$mnt"
# The decoded fork, for cat of the bytes the import writes.
"$convert" -q --layout appledouble "$work/src" "$work/src/big.hqx"
mv "$work/src/Bench" "$work/src/fork.bin"
rm -f "$work/src/._Bench"
cat "$work/src/"* >/dev/null  # the sources come from the page cache in every run

import_vs_cat() {  # text label: the import beside cat of the text and of the decoded fork
    local text=$1 ours=() cats=() forks=() t_ours t_cat t_fork
    for ((i = 0; i < runs; i++)); do
        ours+=("$(seconds "$convert" -q -f binhex "$mnt" "$text")")
        rm -f "$mnt/Bench"
        cats+=("$(seconds sh -c "cat '$text' > '$mnt/cat.out'")")
        rm -f "$mnt/cat.out"
        forks+=("$(seconds sh -c "cat '$work/src/fork.bin' > '$mnt/cat.out'")")
        rm -f "$mnt/cat.out"
    done
    t_ours=$(printf '%s\n' "${ours[@]}" | median)
    t_cat=$(printf '%s\n' "${cats[@]}" | median)
    t_fork=$(printf '%s\n' "${forks[@]}" | median)
    printf '  %s, %d bytes of text:\n' "$2" "$(stat -c %s "$text")"
    printf '    veskar-convert -f binhex   %6.2f s  %7.1f MB/s of text\n' "$t_ours" \
        "$(echo "$(stat -c %s "$text") / $t_ours / 1000000" | bc -l)"
    printf '    cat of the .hqx            %6.2f s\n' "$t_cat"
    printf '    cat of the decoded fork    %6.2f s\n' "$t_fork"
    printf '    import / cat of the text = %.2f; / cat of the fork = %.2f\n' \
        "$(echo "$t_ours / $t_cat" | bc -l)" "$(echo "$t_ours / $t_fork" | bc -l)"
}

printf '(c) import of %d MiB of fork data into ntfs-3g, median of %d runs\n' "$fork_mib" "$runs"
import_vs_cat "$work/src/big.hqx" "random bytes with runs (the text above)"
import_vs_cat "$work/src/plain.hqx" "random bytes alone (as a compressed archive)"

rss() {  # file -> peak RSS in KiB of one conversion
    /usr/bin/time -f %M "$convert" -q -f binhex "$mnt" "$1" 2>&1 >/dev/null | tail -n 1
    rm -f "$mnt/Bench"
}
rss_small=$(rss "$work/src/small.hqx")
rss_big=$(rss "$work/src/big.hqx")
left=$(find "$TMPDIR" "$work/src" -type f ! -name '*.hqx' ! -name fork.bin | wc -l)
printf '  peak RSS: %d KiB for 1 MiB, %d KiB for %d MiB\n' "$rss_small" "$rss_big" "$fork_mib"
printf '  intermediate or staging files left: %d\n' "$left"

# A base64 text of the same size: 57 bytes a line of 76 characters and a line break.
head -c $((size * 57 / 77)) /dev/urandom | base64 >"$work/src/peer.b64"
truncate -s "$((fork_mib * 3 + 256))M" "$image"
mkfs.ext4 -q -F "$image"
mount -o loop "$image" "$work/ext4"
cat "$work/src/"* >/dev/null
synced() {  # command... -> seconds, the target's writes synced
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    sync -f "$work/ext4"
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
ours=() peers=()
for ((i = 0; i < runs; i++)); do
    ours+=("$(synced "$convert" -q --layout appledouble "$work/ext4" "$work/src/big.hqx")")
    rm -f "$work/ext4/Bench" "$work/ext4/._Bench"
    peers+=("$(synced sh -c "base64 -d '$work/src/peer.b64' > '$work/ext4/peer.out'")")
    rm -f "$work/ext4/peer.out"
done
t_ours=$(printf '%s\n' "${ours[@]}" | median)
t_peer=$(printf '%s\n' "${peers[@]}" | median)
printf '(d) into an ext4 folder, --layout appledouble, median of %d runs\n' "$runs"
printf '  veskar-convert, %d bytes of text   %6.3f s\n' "$size" "$t_ours"
printf '  base64 -d, %d bytes of text        %6.3f s\n' "$(stat -c %s "$work/src/peer.b64")" \
    "$t_peer"
printf '  import / base64 -d = %.2f\n' "$(echo "$t_ours / $t_peer" | bc -l)"
