#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs each for a while: the readers on bytes in memory (*_reader_fuzz), the imports against
# a fresh NTFS volume mounted with ntfs-3g.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]      (default: 60 seconds, every target)
#
# The corpora grow in build-fuzz/corpus/TARGET and carry over to the next run; the seeds are
# the project's own sample files and the real-world files of ../shared/samples when present.
# A finding stops with the crashing input in build-fuzz/findings/ and exit status 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
. "$root/scripts/ntfs_volume.sh"
veskar_install "${VESKAR_BUILD_PACKAGES[@]}" clang-14 libclang-rt-14-dev
seconds=${1:-60}
shift || true
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DVESKAR_FUZZ=ON -DVESKAR_WERROR=ON >/dev/null
cmake --build "$build"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for bin in "$build"/fuzz/*_fuzz; do targets+=("$(basename "$bin")"); done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/veskar-fuzz-XXXXXX")
mnt=$work/mnt
cleanup() {
    ntfs_unmount_all
    rm -rf "$work"
}
trap cleanup EXIT
ntfs_volume_up "$work/volume.img" 256 "$mnt"

samples=$root/../shared/samples
# The start of an 800K image the build's own converter made with the project's samples in it:
# the master directory block, the bitmap and both trees lie in its first 64 KiB.
hfs_seeds() {
    "$build/veskar-convert" -q --layout hfs --image-size 800K "$work/seed.dsk" \
        "$root"/samples/*.bin >/dev/null 2>&1 && head -c 65536 "$work/seed.dsk" >"$work/seed.hfs" &&
        echo "$work/seed.hfs"
}
seeds_of() {  # target -> the seed files, one per line
    case $1 in
        macbinary*_fuzz) ls "$root"/samples/*.bin "$samples"/macbinary/* ;;
        applesingle*_fuzz) ls "$samples"/applesingle/* ;;
        appledouble*_fuzz) find "$samples"/appledouble -name '._*' ;;
        binhex*_fuzz) ls "$samples"/binhex/* ;;
        hfs*_fuzz) hfs_seeds ;;
    esac 2>/dev/null || true
}

mkdir -p "$build/findings"
status=0
for name in "${targets[@]}"; do
    corpus=$build/corpus/$name
    seeds=$work/seeds-$name
    mkdir -p "$corpus" "$seeds" "$work/tmp-$name" "$mnt/$name"
    seeds_of "$name" | while read -r seed; do cp "$seed" "$seeds/"; done
    # A reader's work grows with its input, and what it parses lies in the first few KiB:
    # small inputs keep it at tens of thousands of runs a second. An HFS volume's trees lie
    # past its first blocks: its reader takes the image's first 64 KiB.
    max_len=65536
    [[ $name == *_reader_fuzz && $name != hfs_* ]] && max_len=4096
    echo "== $name: $seconds s"
    if ! TMPDIR=$work/tmp-$name VESKAR_FUZZ_TARGET=$mnt/$name \
        "$build/fuzz/$name" -max_total_time="$seconds" -max_len=$max_len -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" "$corpus" "$seeds" >"$work/$name.log" 2>&1; then
        status=1
        tail -n 40 "$work/$name.log"
    fi
    grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$work/$name.log" |
        sed 's/^/   /'
done
exit $status
