# What the benchmark scripts share, sourced by them after setting `root`: the NTFS image
# helper, a work folder removed (its mounts undone first) however the script ends, and the
# timing helpers.
#
#   bench_start PREFIX   makes the work folder $work (with $mnt for the mount) and the EXIT trap
#   seconds COMMAND...   the elapsed seconds of one run, its writes synced
#   median               the median of the numbers on standard input, one a line

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
