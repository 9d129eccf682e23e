#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Moving a Mac file server's tree to another server: a tree of small files (1 to 64 KiB, half
# with a resource fork, a quarter with extended attributes, a quarter plain, in a few nested
# folders) read back from a server layout and written in the fruit layout onto ext4.
#   (1) fruit on ext4 to fruit on another ext4 file system, `veskar-convert -r -f fruit --layout
#       fruit`, beside `cp -a` of the same tree (the same bytes and attributes);
#   (2) sfm on an ntfs-3g mount (streams_interface=windows) to fruit on ext4,
#       `veskar-convert -r -f sfm --layout fruit`, beside the bench's sfm_read_floor, which reads
#       the same streams and writes the same outputs with plain calls, one file after another;
#       timed with ntfs-3g and the program on one processor, then as the system places them;
#   (3) the peak memory of both moves for a tree of a tenth as many files and for the whole,
#       which must not grow with the number of files.
#   bench/migration_bench.sh [BUILD_DIR] [FILES] [RUNS]
# As root (loop and FUSE mounts); needs mkfs.ext4, ntfs-3g, python3, bc, taskset and GNU time,
# which `. scripts/deps.sh; veskar_install e2fsprogs ntfs-3g python3 bc util-linux time`
# installs; with perf (linux-perf) it also counts the requests each NTFS move makes of ntfs-3g.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench_common.sh"
build=${1:-$root/build}
files=${2:-10000}
runs=${3:-3}
convert="$build/veskar-convert"
floor="$build/bench/sfm_read_floor"
for program in "$convert" "$floor"; do
    [ -x "$program" ] || { echo "build first: $program is missing" >&2; exit 2; }
done
for tool in mkfs.ext4 mkntfs ntfs-3g python3 bc taskset; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

bench_start veskar-migration
old="$work/old" new="$work/new"
mkdir "$old" "$new"
# The images lie in memory (/dev/shm), so that writing back to them costs the file systems'
# own work and not the moods of a shared disk.
images=$(mktemp -d /dev/shm/veskar-migration-XXXXXX)
unmount_ext4() {
    local folder
    for folder in "$@"; do
        if mountpoint -q "$folder"; then umount "$folder" 2>/dev/null || umount -l "$folder"; fi
    done
}
trap 'unmount_ext4 "$new" "$old"; rm -rf "$images"; bench_cleanup' EXIT

# The tree, from a fixed seed: "File NNNNN" in seven folders, three of them nested. Every
# second file has a resource fork (up to a quarter of its bytes); a quarter of the files have
# the quarantine mark as a Samba stream attribute, one in sixteen also a Spotlight attribute
# of a few hundred bytes whose name holds ':' (U+F022 as stored, as a Mac client sends it); a
# quarter are plain files, with no "._" file and no metadata. "sources" writes the Mac files
# as MacBinary files (with their dates) for veskar-convert --layout fruit to make the tree;
# "finish" then adds to the tree what no MacBinary file carries: the plain files and the
# stream attributes, written as Samba writes them (with its zero byte after the value).
# "summary" prints every file's and folder's path, size, modification time and attributes
# (names and sizes) in name order: what two moves of the tree must agree on.
tree() {  # sources|finish|summary FOLDER [COUNT]
    python3 - "$@" <<'PY'
import os, random, struct, sys
mode, top = sys.argv[1], sys.argv[2]
if mode == "summary":
    for folder, subs, names in os.walk(top):
        subs.sort()
        for name in sorted(names + subs):
            path = os.path.join(folder, name)
            info = os.lstat(path)
            regular = not os.path.isdir(path)
            attributes = ",".join("%s=%d" % (a, len(os.getxattr(path, a, follow_symlinks=False)))
                                  for a in sorted(os.listxattr(path, follow_symlinks=False)))
            print(os.path.relpath(path, top), info.st_size if regular else "-",
                  info.st_mtime_ns if regular else "-", attributes)
    sys.exit()
folders = ["", "Documents", "Documents/Letters", "Documents/Letters/1998", "Pictures",
           "Pictures/Scans", "R\u00e9sum\u00e9s"]
rng = random.Random(7)
unix_at_1904 = 2082844800
for i in range(int(sys.argv[3])):
    total = rng.randint(1024, 64 * 1024)
    rsrc = rng.randint(256, total // 4) if i % 2 == 0 else 0
    data = total - rsrc
    mark = b"0083;%08x;Safari;%032X" % (1500000000 + i, rng.getrandbits(128))
    where_froms = b"bplist00" + rng.randbytes(rng.randint(100, 400))
    created = 1500000000 + i * 60
    folder = os.path.join(top, folders[i % len(folders)])
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "File %05d" % i)
    if mode == "sources" and i % 4 != 3:
        head = bytearray(128)
        name = b"File %05d" % i
        head[1] = len(name)
        head[2:2 + len(name)] = name
        head[65:73] = b"TEXTttxt" if i % 3 else b"APPLbnch"
        head[83:99] = struct.pack(">IIII", data, rsrc, created + unix_at_1904,
                                  created + 3600 + unix_at_1904)
        pad = lambda n: b"\0" * ((128 - n % 128) % 128)
        with open(os.path.join(folder, "f%05d.bin" % i), "wb") as out:
            out.write(head + os.urandom(data) + pad(data) + os.urandom(rsrc) + pad(rsrc))
    elif mode == "finish" and i % 4 == 3:
        with open(path, "xb") as out:
            out.write(os.urandom(total))
        os.utime(path, (created, created))
    elif mode == "finish" and i % 8 in (0, 1):
        os.setxattr(path, "user.DosStream.com.apple.quarantine:$DATA", mark + b"\0")
        if i % 16 == 0:
            os.setxattr(path, "user.DosStream.com.apple.metadata\uf022kMDItemWhereFroms:$DATA",
                        where_froms + b"\0")
PY
}

ext4_up() {  # image megabytes folder
    rm -f "$1"
    truncate -s "${2}M" "$1"
    mkfs.ext4 -q -F "$1"
    mount -o loop,noatime "$1" "$3"
}
# Each tree on both source volumes: fruit on ext4 (made, then mounted read-only), and sfm on
# NTFS, converted from it.
megabytes=$((files * 128 / 1024 + 512))
ext4_up "$images/old.img" "$megabytes" "$old"
ntfs_volume_up "$images/ntfs.img" "$megabytes" "$mnt"
for size in small:$((files / 10)) tree:$files; do
    name=${size%%:*} count=${size#*:}
    tree sources "$work/sources" "$count"
    mkdir "$old/$name" "$mnt/$name"
    "$convert" -q -r --layout fruit "$old/$name" "$work/sources"
    rm -rf "$work/sources"
    tree finish "$old/$name" "$count"
    "$convert" -q -r -f fruit --layout sfm "$mnt/$name" "$old/$name"
done
mount -o remount,ro,noatime "$old"
bytes=$(du -sb --apparent-size "$old/tree" | cut -f1)
folders=$(find "$old/tree" -mindepth 1 -type d | wc -l)
tree summary "$old/tree" >"$work/old.summary"  # and the tree is in the page cache

# Every run of each program writes into a fresh ext4 file system of its own: ext4 passes over
# inodes freed in the last seconds when it creates a file, so a file system with a history of
# removals makes runs slow at random (see fruit_batch_bench.sh).
fresh_new() {
    unmount_ext4 "$new"
    ext4_up "$images/new.img" "$megabytes" "$new"
    mkdir "$new/out"
    sync
}
# Every program's writes are synced the same way, by `sync -f` a second after it has ended;
# veskar-convert syncs its file system itself before it ends, so its own time holds that sync
# already and the synced times are the ones that compare like with like.
synced_after() {  # seconds of the program's own -> those with its writes synced
    local start end
    sleep 1
    start=$(date +%s.%N)
    sync -f "$new"
    end=$(date +%s.%N)
    echo "$1 + $end - $start" | bc -l
}
wall() {  # command... -> its elapsed seconds
    local start
    start=$(date +%s.%N)
    "$@" >/dev/null
    echo "$(date +%s.%N) - $start" | bc -l
}
declare -A written synced
record() {  # key seconds
    written[$1]+="$2 " synced[$1]+="$(synced_after "$2") "
}
# ntfs-3g answers the calls on its mount in one thread. On this kind of machine (virtual
# processors) a call from a program on the other processor wakes that thread across
# processors, which was found to cost up to six times as much as on the same one, and where
# the two land changes from run to run (the same floor took from 1.1 s to 9.4 s). So the NTFS
# moves are timed with ntfs-3g and the program held on one processor, the last, and then once
# more as the system places them.
cpu=$(($(nproc) - 1))
ntfs_pid=$(pgrep -f "^ntfs-3g .*$images/ntfs.img")  # the daemon of this script's mount
[ -n "$ntfs_pid" ] || { echo "the ntfs-3g process of $mnt is not found" >&2; exit 1; }
pin=()
on_one_cpu() { taskset -apc "$cpu" "$ntfs_pid" >/dev/null; pin=(taskset -c "$cpu"); }
on_any_cpu() { taskset -apc "0-$cpu" "$ntfs_pid" >/dev/null; pin=(); }

run_cp() { record cp "$(wall cp -a "$old/tree/." "$new/out/")"; }
run_fruit() {
    record fruit "$(wall "$convert" -q -r -f fruit --layout fruit "$new/out" "$old/tree")"
}
run_floor() {  # key
    local seconds  # taken whole, so that the floor has ended before what follows
    seconds=$("${pin[@]}" "$floor" "$mnt/tree" "$new/out")
    record "$1" "$seconds"
}
run_sfm() {  # key
    record "$1" "$(wall "${pin[@]}" "$convert" -q -r -f sfm --layout fruit "$new/out" "$mnt/tree")"
}
# Two programs that wrote the same files, folders, sizes, times and attribute names and sizes
# did the same work (netatalk's metadata differs only in the date it was written).
same_as() {  # summary-file program other
    tree summary "$new/out" >"$work/this.summary"
    cmp -s "$1" "$work/this.summary" && return
    echo "$2 wrote another tree than $3" >&2
    diff "$1" "$work/this.summary" | head >&2
    exit 1
}

# A first move of the NTFS tree, untimed: ntfs-3g notes the first access of every file.
fresh_new
"$floor" "$mnt/tree" "$new/out" >/dev/null
tree summary "$new/out" >"$work/sfm.summary"
last() {  # key -> its last synced seconds
    local values
    read -ra values <<<"${synced[$1]}"
    echo "${values[-1]}"
}
fruit_ratios=() sfm_ratios=() free_ratios=()
for run in $(seq "$runs"); do
    for program in cp fruit; do
        fresh_new
        "run_$program"
        same_as "$work/old.summary" "$program" "the tree it copied"
    done
    for placing in one any; do
        "on_${placing}_cpu"
        key=${pin[0]:+_pinned}
        for program in floor sfm; do
            fresh_new
            "run_$program" "$program${key:-_free}"
            same_as "$work/sfm.summary" "$program" "the first move"
        done
    done
    fruit_ratios+=("$(echo "$(last fruit) / $(last cp)" | bc -l)")
    sfm_ratios+=("$(echo "$(last sfm_pinned) / $(last floor_pinned)" | bc -l)")
    free_ratios+=("$(echo "$(last sfm_free) / $(last floor_free)" | bc -l)")
done
med() { printf '%s\n' "$@" | median; }

# How many requests each NTFS move makes of ntfs-3g (and how many of them fetch a file's
# attributes), counted by the kernel's FUSE trace point where perf has it: each is a round
# trip to ntfs-3g's one thread.
requests() {  # command... -> "REQUESTS GETATTRS"
    local connection
    connection=$(stat -c %d "$mnt")
    fresh_new
    perf stat -x, -a -e fuse:fuse_request_send --filter "connection == $connection" \
        -e fuse:fuse_request_send --filter "connection == $connection && opcode == 3" \
        -- "$@" 2>&1 >/dev/null | awk -F, '/fuse_request_send/ {printf "%s ", $1} END {print ""}'
}
floor_requests=() sfm_requests=()
if command -v perf >/dev/null &&
    [[ $(perf list 'fuse:*' 2>/dev/null) == *fuse_request_send* ]]; then
    read -ra floor_requests < <(requests "$floor" "$mnt/tree" "$new/out")
    read -ra sfm_requests < <(requests "$convert" -q -r -f sfm --layout fruit "$new/out" \
        "$mnt/tree")
fi

rss() {  # format tree -> peak resident KiB of its move, into a fresh file system
    fresh_new
    /usr/bin/time -f %M "$convert" -q -r -f "$1" --layout fruit "$new/out" "$2" 2>&1 >/dev/null |
        tail -1
}
rss_fruit_small=$(rss fruit "$old/small") rss_fruit=$(rss fruit "$old/tree")
rss_sfm_small=$(rss sfm "$mnt/small") rss_sfm=$(rss sfm "$mnt/tree")

row() {  # label key
    printf '%-16s%7.2f s  %7.2f s   (synced runs %s)\n' "$1" "$(med ${written[$2]})" \
        "$(med ${synced[$2]})" "$(printf '%.2f ' ${synced[$2]})"
}
ratio() {  # ours floor goal ratios...
    local ours=$1 floor=$2 goal=$3
    shift 3
    printf 'ratio           %7.2f    %7.2f     (medians; with the writes synced%s)\n' \
        "$(echo "$(med ${written[$ours]}) / $(med ${written[$floor]})" | bc -l)" \
        "$(echo "$(med ${synced[$ours]}) / $(med ${synced[$floor]})" | bc -l)" "$goal"
    printf 'ratio per run   %s(median %.2f)\n' "$(printf '%.2f ' "$@")" "$(med "$@")"
}
growth() { echo "($2 - $1) * 100 / $1" | bc -l; }
printf 'files %d in %d folders below the top, %.1f MiB with the "._" files, median of %d runs\n' \
    "$files" "$folders" "$(echo "$bytes / 1048576" | bc -l)" "$runs"
echo "fruit on ext4 -> fruit on another ext4 (written; with the writes synced)"
row 'cp -a' cp
row 'veskar-convert' fruit
ratio fruit cp ', goal <= 1.2' "${fruit_ratios[@]}"
echo "sfm on ntfs-3g -> fruit on ext4, ntfs-3g and the program on one processor"
row 'sfm_read_floor' floor_pinned
row 'veskar-convert' sfm_pinned
ratio sfm_pinned floor_pinned ', goal <= 1.2' "${sfm_ratios[@]}"
echo "the same, as the system places them"
row 'sfm_read_floor' floor_free
row 'veskar-convert' sfm_free
ratio sfm_free floor_free '' "${free_ratios[@]}"
if [ ${#sfm_requests[@]} -eq 2 ]; then
    printf 'ntfs-3g requests sfm_read_floor %d (%d GETATTR), veskar-convert %d (%d GETATTR)' \
        "${floor_requests[@]}" "${sfm_requests[@]}"
    printf ': %.1f and %.1f a file\n' "$(echo "${floor_requests[0]} / $files" | bc -l)" \
        "$(echo "${sfm_requests[0]} / $files" | bc -l)"
fi
printf 'peak RSS        fruit: %d KiB for %d files, %d KiB for %d files (%+.1f%%, goal about equal)\n' \
    "$rss_fruit_small" $((files / 10)) "$rss_fruit" "$files" \
    "$(growth "$rss_fruit_small" "$rss_fruit")"
printf '                sfm:   %d KiB for %d files, %d KiB for %d files (%+.1f%%)\n' \
    "$rss_sfm_small" $((files / 10)) "$rss_sfm" "$files" "$(growth "$rss_sfm_small" "$rss_sfm")"
