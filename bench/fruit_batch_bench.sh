#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A batch of small MacBinary files (the batch of cli_batch_bench.sh) converted with
# `--layout fruit` into a fresh ext4 file system of its own by one veskar-convert process, beside
# the bench's fruit_floor, which only creates and writes the same outputs (data file, "._"
# file, netatalk's attribute) from forks it read beforehand; and the peak memory of the batch
# at two sizes, which must not grow with the number of files.
#   bench/fruit_batch_bench.sh [BUILD_DIR] [FILES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
files=${2:-10000}
runs=${3:-3}
convert="$build/veskar-convert"
floor="$build/bench/fruit_floor"
for program in "$convert" "$floor"; do
    [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 2; }
done

bench_start veskar-fruit
command -v mkfs.ext4 >/dev/null || { echo "needs mkfs.ext4 (apt-get install e2fsprogs)" >&2; exit 2; }

# Every run of each program on a fresh ext4 file system of its own holding the sources and
# its outputs: ext4 passes over inodes freed in the last seconds (minutes while their blocks
# are dirty) when it creates a file, at a cost that grows with every file, and slows as it
# fills, so a file system with a history (a shared /tmp, the runs before) makes runs slow at
# random. The sources lie on the same file system as the outputs, as when files are converted
# where a server shares them.
make_batch "$work/small" $((files / 10))
make_batch "$work/batch" "$files"
bytes=$(du -sb "$work/batch" | cut -f1)
megabytes=$((bytes * 5 / 1048576 + 512))
mkdir "$mnt"
# The image lies in memory (/dev/shm), so that writing back to it costs the file system's own
# work and not the moods of a shared disk, which made synced runs differ by a factor of two.
image=$(mktemp -d /dev/shm/veskar-fruit-XXXXXX)/ext4.img
trap 'while mountpoint -q "$mnt"; do umount "$mnt" || break; done; rm -rf "$(dirname "$image")"; bench_cleanup' EXIT

fresh_volume() {
    if mountpoint -q "$mnt"; then umount "$mnt"; fi
    rm -f "$image"
    truncate -s "${megabytes}M" "$image"
    mkfs.ext4 -q -F "$image"
    mount -o loop "$image" "$mnt"
    cp -r "$work/batch" "$work/small" "$mnt/"
    sync
    cat "$mnt"/batch/* >/dev/null  # the sources come from the page cache
}
# Both programs' writes are synced the same way, by `sync -f` a second after the program has
# ended: a sync right after the floor's end also waited for the system to take back the
# floor's half a gigabyte of prepared outputs, which made its synced runs differ by half.
synced_after() {  # seconds of the program's own -> those with its writes synced
    local start end
    sleep 1
    start=$(date +%s.%N)
    sync -f "$mnt"
    end=$(date +%s.%N)
    echo "$1 + $end - $start" | bc -l
}
time_floor() {
    sync  # nothing of what came before waits to be written
    local written  # taken whole, so that the floor has ended (and left the mount) before what follows
    written=$("$floor" "$mnt/batch" "$mnt/floor")
    floor_written+=("$written") floor_times+=("$(synced_after "$written")")
}
time_ours() {
    sync
    local start written
    start=$(date +%s.%N)
    "$convert" -q -r --layout fruit "$mnt/ours" "$mnt/batch"
    written=$(echo "$(date +%s.%N) - $start" | bc -l)
    ours_written+=("$written") ours_times+=("$(synced_after "$written")")
}

# Each program writes into a file system of its own: the second of two batches in one file
# system was found slower by up to half, whichever program wrote it.
floor_times=() ours_times=() floor_written=() ours_written=() ratios=()
for run in $(seq "$runs"); do
    for program in floor ours; do
        fresh_volume
        mkdir "$mnt/$program"
        "time_$program"
        ls -A "$mnt/$program" >"$work/$program.list"
    done
    ratios+=("$(echo "${ours_times[-1]} / ${floor_times[-1]}" | bc -l)")
    # Both wrote the same names: the same work.
    cmp -s "$work/floor.list" "$work/ours.list" ||
        { echo "the floor and veskar-convert wrote different files" >&2; exit 1; }
done
med() { printf '%s\n' "$@" | median; }
floor_w=$(med "${floor_written[@]}") floor_s=$(med "${floor_times[@]}")
ours_w=$(med "${ours_written[@]}") ours_s=$(med "${ours_times[@]}")

rss() {  # folder -> peak resident KiB of one batch, into a folder of its own
    mkdir "$1.fruit"
    /usr/bin/time -f %M "$convert" -q -r --layout fruit "$1.fruit" "$1" 2>&1 >/dev/null | tail -1
}
rss_small=$(rss "$mnt/small")
rss_large=$(rss "$mnt/batch")

printf 'files %d, %.1f MiB, ext4, median of %d runs (written; with the writes synced)\n' \
    "$files" "$(echo "$bytes / 1048576" | bc -l)" "$runs"
printf 'fruit_floor     %7.2f s  %7.2f s   (synced runs %s)\n' "$floor_w" "$floor_s" \
    "$(printf '%.2f ' "${floor_times[@]}")"
printf 'veskar-convert  %7.2f s  %7.2f s   (synced runs %s)\n' "$ours_w" "$ours_s" \
    "$(printf '%.2f ' "${ours_times[@]}")"
printf 'ratio           %7.2f    %7.2f     (medians; with the writes synced, goal <= 1.2)\n' \
    "$(echo "$ours_w / $floor_w" | bc -l)" "$(echo "$ours_s / $floor_s" | bc -l)"
printf 'ratio per run   %s (median %.2f)\n' "$(printf '%.2f ' "${ratios[@]}")" "$(med "${ratios[@]}")"
printf 'peak RSS        %d KiB for %d files, %d KiB for %d files (%+.1f%%, goal about equal)\n' \
    "$rss_small" $((files / 10)) "$rss_large" "$files" \
    "$(echo "($rss_large - $rss_small) * 100 / $rss_small" | bc -l)"
