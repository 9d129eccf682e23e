# SPDX-License-Identifier: Apache-2.0
# What the benchmark scripts share, sourced by them after setting `root`: the NTFS image
# helper, a work folder removed (its mounts undone first) however the script ends, and the
# timing helpers.
#
#   bench_start PREFIX   makes the work folder $work (with $mnt for the mount) and the EXIT trap
#   seconds COMMAND...   the elapsed seconds of one run, its writes synced
#   median               the median of the numbers on standard input, one a line
#   make_batch FOLDER N  N small MacBinary files, the same names and sizes at every call

. "$root/scripts/ntfs_volume.sh"

command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)" >&2; exit 2; }

bench_start() {
    work=$(mktemp -d "/tmp/$1-XXXXXX")
    mnt="$work/mnt"
    trap bench_cleanup EXIT
}

bench_cleanup() {
    ntfs_unmount_all
    rm -rf "$work"
}

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    sync
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# MacBinary files of 1 to 64 KiB with names of their own (so that no unique names are
# needed), forks of random sizes from a fixed seed.
make_batch() {  # folder count
    python3 - "$1" "$2" <<'PY'
import os, random, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder, exist_ok=True)
rng = random.Random(7)
for i in range(count):
    total = rng.randint(1024, 64 * 1024 - 256)
    rsrc = rng.randint(0, total // 4)
    data = total - rsrc
    name = b"File %05d" % i
    head = bytearray(128)
    head[1] = len(name)
    head[2:2 + len(name)] = name
    head[65:73] = b"BINAbnch"
    head[83:91] = struct.pack(">II", data, rsrc)
    pad = lambda n: b"\0" * ((128 - n % 128) % 128)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as out:
        out.write(head + os.urandom(data) + pad(data) + os.urandom(rsrc) + pad(rsrc))
PY
}
