#!/usr/bin/env bash
# A batch of small MacBinary files (1 to 64 KiB) converted into an ntfs-3g mount by one
# veskar-convert process, beside cp of the same files into the same mount; and the peak
# memory of the batch at two sizes, which must not grow with the number of files.
#   bench/cli_batch_bench.sh [BUILD_DIR] [FILES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
files=${2:-10000}
runs=${3:-3}
convert="$build/veskar-convert"
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }

bench_start veskar-batch

make_batch "$work/small" $((files / 10))
make_batch "$work/batch" "$files"
bytes=$(du -sb "$work/batch" | cut -f1)

ntfs_volume_up "$work/volume.img" $((bytes * 3 / 1048576 + 512)) "$mnt"
cat "$work"/batch/* >/dev/null  # the sources come from the page cache in every run


cp_times=() conv_times=()
for run in $(seq "$runs"); do
    mkdir "$mnt/cp$run" "$mnt/conv$run"
    cp_times+=("$(seconds cp -r "$work/batch/." "$mnt/cp$run/")")
    conv_times+=("$(seconds "$convert" -q -r "$mnt/conv$run" "$work/batch")")
    rm -rf "$mnt/cp$run" "$mnt/conv$run"
done
cp_s=$(printf '%s\n' "${cp_times[@]}" | median)
conv_s=$(printf '%s\n' "${conv_times[@]}" | median)

rss() {  # folder -> peak resident KiB of one batch
    mkdir "$mnt/rss"
    /usr/bin/time -f %M "$convert" -q -r "$mnt/rss" "$1" 2>&1 >/dev/null | tail -1
    rm -rf "$mnt/rss"
}
rss_small=$(rss "$work/small")
rss_large=$(rss "$work/batch")

printf 'files %d, %.1f MiB, median of %d runs\n' "$files" "$(echo "$bytes / 1048576" | bc -l)" "$runs"
printf 'cp -r           %7.2f s\n' "$cp_s"
printf 'veskar-convert  %7.2f s   ratio %.2f (goal <= 2.0)\n' "$conv_s" "$(echo "$conv_s / $cp_s" | bc -l)"
printf 'peak RSS        %d KiB for %d files, %d KiB for %d files (%+.1f%%, goal within 5%%)\n' \
    "$rss_small" $((files / 10)) "$rss_large" "$files" \
    "$(echo "($rss_large - $rss_small) * 100 / $rss_small" | bc -l)"
