#!/usr/bin/env bash
# The BinHex import in one run: (a) throughput of the two decoding passes (binhex_bench),
# (b) the whole import of a text of FORK_MIB MiB of fork data into an ntfs-3g mount beside
# cat of the same .hqx file into the same mount, and peak memory for 1 MiB and FORK_MIB MiB.
#   bench/binhex_bench.sh [BUILD_DIR] [FORK_MIB] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
fork_mib=${2:-64}
runs=${3:-5}
convert="$build/veskar-convert"
bench="$build/bench/binhex_bench"
for program in "$convert" "$bench"; do
    [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 2; }
done

bench_start veskar-bench
# The staging file and the bench's scratch files go here too, and are checked for below.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR" "$work/src"

echo "(a) decoding passes, $fork_mib MiB of fork data (bytes_per_second in MiB/s of text):"
"$bench" --fork-mib "$fork_mib" --benchmark_min_time=2 2>/dev/null | grep -E '^(text|BM_)'

"$bench" --write "$work/src/big.hqx" "$fork_mib"
"$bench" --write "$work/src/small.hqx" 1
size=$(stat -c %s "$work/src/big.hqx")
ntfs_volume_up "$work/volume.img" $((fork_mib * 4 + 256)) "$mnt"
cat "$work/src/big.hqx" >/dev/null  # the source comes from the page cache in every run


ours=() cats=()
for ((i = 0; i < runs; i++)); do
    ours+=("$(seconds "$convert" -q -f binhex "$mnt" "$work/src/big.hqx")")
    rm -f "$mnt/Bench"
    cats+=("$(seconds sh -c "cat '$work/src/big.hqx' > '$mnt/cat.out'")")
    rm -f "$mnt/cat.out"
done
t_ours=$(printf '%s\n' "${ours[@]}" | median)
t_cat=$(printf '%s\n' "${cats[@]}" | median)

rss() {  # file -> peak RSS in KiB of one conversion
    /usr/bin/time -f %M "$convert" -q -f binhex "$mnt" "$1" 2>&1 >/dev/null | tail -n 1
    rm -f "$mnt/Bench"
}
rss_small=$(rss "$work/src/small.hqx")
rss_big=$(rss "$work/src/big.hqx")
left=$(find "$TMPDIR" "$work/src" -type f ! -name '*.hqx' | wc -l)

printf '(b) import of %d MiB of fork data (%d bytes of text), median of %d runs\n' \
    "$fork_mib" "$size" "$runs"
printf '  veskar-convert -f binhex  %6.2f s  %7.1f MB/s of text\n' "$t_ours" \
    "$(echo "$size / $t_ours / 1000000" | bc -l)"
printf '  cat of the .hqx           %6.2f s  %7.1f MB/s\n' "$t_cat" \
    "$(echo "$size / $t_cat / 1000000" | bc -l)"
printf '  import / cat = %.2f\n' "$(echo "$t_ours / $t_cat" | bc -l)"
printf '  peak RSS: %d KiB for 1 MiB, %d KiB for %d MiB\n' "$rss_small" "$rss_big" "$fork_mib"
printf '  intermediate or staging files left: %d\n' "$left"
