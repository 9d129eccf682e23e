#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A batch of small MacBinary files (1 to 64 KiB) converted into an ntfs-3g mount by one
# veskar-convert process, beside cp of the same files into the same kind of mount and beside
# the bench's sfm_floor, which only creates and writes the same outputs (data file,
# AFP_Resource, AFP_AfpInfo) from forks it read beforehand; and the peak memory of the batch
# at two sizes, which must not grow with the number of files.
#   bench/cli_batch_bench.sh [BUILD_DIR] [FILES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
files=${2:-10000}
runs=${3:-3}
convert="$build/veskar-convert"
floor="$build/bench/sfm_floor"
for program in "$convert" "$floor"; do
    [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 2; }
done

bench_start veskar-batch

make_batch "$work/small" $((files / 10))
make_batch "$work/batch" "$files"
bytes=$(du -sb "$work/batch" | cut -f1)

megabytes=$((bytes * 3 / 1048576 + 512))
cat "$work"/batch/* >/dev/null  # the sources come from the page cache in every run

# Every program writes into a fresh volume of its own in every run, so that no run writes
# into a volume with the history of another.
fresh_volume() {
    ntfs_unmount_all
    rm -f "$work/volume.img"
    ntfs_volume_up "$work/volume.img" "$megabytes" "$mnt"
    mkdir "$mnt/out"
    sync
}
floor_seconds() {  # the floor's own seconds, and those of the sync after it
    local written start end
    written=$("$floor" "$work/batch" "$mnt/out")
    start=$(date +%s.%N)
    sync
    end=$(date +%s.%N)
    echo "$written + $end - $start" | bc -l
}

cp_times=() conv_times=() floor_times=()
for run in $(seq "$runs"); do
    fresh_volume
    cp_times+=("$(seconds cp -r "$work/batch/." "$mnt/out/")")
    fresh_volume
    floor_times+=("$(floor_seconds)")
    fresh_volume
    conv_times+=("$(seconds "$convert" -q -r "$mnt/out" "$work/batch")")
done
cp_s=$(printf '%s\n' "${cp_times[@]}" | median)
floor_s=$(printf '%s\n' "${floor_times[@]}" | median)
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
printf 'sfm_floor       %7.2f s\n' "$floor_s"
printf 'veskar-convert  %7.2f s   ratio to cp -r %.2f (goal <= 2.0), to the floor %.2f\n' \
    "$conv_s" "$(echo "$conv_s / $cp_s" | bc -l)" "$(echo "$conv_s / $floor_s" | bc -l)"
printf 'peak RSS        %d KiB for %d files, %d KiB for %d files (%+.1f%%, goal within 5%%)\n' \
    "$rss_small" $((files / 10)) "$rss_large" "$files" \
    "$(echo "($rss_large - $rss_small) * 100 / $rss_small" | bc -l)"
