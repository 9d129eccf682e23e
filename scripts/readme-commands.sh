#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the shell commands of README.md as a reader would type them, so that the README stays
# true.
#
#   scripts/readme-commands.sh BUILD_DIR [README]
#
# Every ```sh block of the README carries a mark on the line before it:
#   <!-- run -->                      run it; it must end with status 0
#   <!-- run: ATTRIBUTE... -->        in=source   run it in the source folder, not ~/Downloads
#                                     expect="TEXT"  its output must hold TEXT
#                                     status=N       it must end with status N
#   <!-- not run: REASON -->          leave it out, saying why
# and the ```ini block marked <!-- run: smb.conf --> is the README's Samba share. A sh block
# without a mark fails the test, so that a new command cannot slip in untested.
#
# The blocks run in order, each in a bash of its own (set -e), with the build's veskar-convert
# first on PATH, in a scratch world that stands for the reader's machine:
# - HOME is a scratch folder; a block runs in ~/Downloads, which holds what arrived (see
#   make_world), or with in=source in a copy of the source folder made of links, whose build/
#   is a folder of links into BUILD_DIR (cpack writes its package there, not into BUILD_DIR);
# - /mnt/, /srv/ and /media/ in a block are folders of the scratch root, and each partition
#   /dev/sdXN an NTFS image file of its own (made with mkntfs), which ntfs-3g mounts as it
#   would the partition;
# - sudo runs the command itself (the test runs as root); apt install resolves the packages
#   with apt-get install --simulate; systemctl restart smbd starts a private smbd (a port of
#   its own on 127.0.0.1, its own state, lock, pid and log folders) with the README's share,
#   and smbpasswd and smbclient talk to that one.
# Everything is undone when the script ends: smbd stopped by its process id, every mount below
# the scratch root unmounted by its mount point, the scratch root removed.
#
# Exit status: 0 when every block ran as marked, 1 otherwise, 77 when it cannot run here (not
# root, no /dev/fuse, no ntfs-3g or mkntfs, no smbd with vfs_fruit or no smbclient).
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo/scripts/ntfs_volume.sh"

say() { printf '%s\n' "$*"; }
skip() {
    say "skipped: $*"
    exit 77
}
(($# >= 1)) || {
    say "usage: readme-commands.sh BUILD_DIR [README]" >&2
    exit 2
}
build=$(cd "$1" && pwd) || exit 2
readme=${2:-$repo/README.md}
[[ -x $build/veskar-convert ]] || {
    say "no veskar-convert in $build" >&2
    exit 2
}

smbd=/usr/sbin/smbd
[[ $(id -u) == 0 ]] || skip "the README's commands mount volumes and start smbd: run as root"
[[ -r /dev/fuse && -w /dev/fuse ]] || skip "/dev/fuse is not usable, so ntfs-3g cannot mount"
for tool in mkntfs ntfs-3g smbclient smbpasswd; do
    command -v "$tool" >/dev/null || skip "no $tool (Debian: ntfs-3g, samba, smbclient)"
done
[[ -x $smbd ]] || skip "no smbd (Debian: samba)"
modules=$("$smbd" -b | sed -n 's/^ *MODULESDIR: //p')
[[ -f $modules/vfs/fruit.so ]] || skip "smbd has no vfs_fruit (Debian: samba-vfs-modules)"

root=$(mktemp -d "${TMPDIR:-/tmp}/veskar-readme-XXXXXX")
# smbd serves guests as nobody, who must reach the share below the scratch root.
chmod 755 "$root"
samba=$root/samba
samba_conf=$samba/smb.conf
samba_client_conf=$samba/client.conf
samba_pid=$samba/smbd.pid-started
samba_password=readme-$RANDOM$RANDOM
samba_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# --- Stand-ins for the reader's machine ------------------------------------------------------

sudo() { "$@"; }
apt() {
    [[ ${1:-} == install ]] || {
        echo "apt: only 'apt install' is stood in for" >&2
        return 2
    }
    shift
    apt-get install --simulate "$@"
}
samba_stop() {
    local pid waited
    [[ -f $samba_pid ]] || return 0
    pid=$(<"$samba_pid")
    rm -f "$samba_pid"
    kill -TERM "$pid" 2>/dev/null || return 0
    for ((waited = 0; waited < 75; waited++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    # smbd's children for connections still closing are in its own process group.
    kill -KILL -- "-$pid" 2>/dev/null || true
}
samba_start() {
    local pid tries
    setsid "$smbd" --foreground --no-process-group -s "$samba_conf" \
        </dev/null >>"$samba/smbd.out" 2>&1 &
    pid=$!
    echo "$pid" >"$samba_pid"
    for ((tries = 0; tries < 150; tries++)); do
        kill -0 "$pid" 2>/dev/null || {
            echo "smbd ended at once; see $samba/smbd.out" >&2
            return 1
        }
        (exec 3<>"/dev/tcp/127.0.0.1/$samba_port") 2>/dev/null && return 0
        sleep 0.2
    done
    echo "smbd did not listen on port $samba_port" >&2
    return 1
}
systemctl() {
    [[ $* == "restart smbd" ]] || {
        echo "systemctl: only 'systemctl restart smbd' is stood in for" >&2
        return 2
    }
    [[ -f $samba_conf ]] || {
        echo "systemctl: the README gave no share before restarting smbd" >&2
        return 1
    }
    samba_stop
    samba_start
}
smbpasswd() {
    printf '%s\n%s\n' "$samba_password" "$samba_password" |
        command smbpasswd -c "$samba_conf" -s "$@"
}
smbclient() {
    local args=() arg
    for arg; do args+=("${arg/#\/\/localhost\////127.0.0.1/}"); done
    command smbclient -s "$samba_client_conf" -p "$samba_port" "${args[@]}"
}
stand_ins=(sudo apt samba_stop samba_start systemctl smbpasswd smbclient)

# The private smb.conf: the settings that keep this smbd apart from the machine's, then the
# README's share as it is written. A [global] section may come twice; both are read.
write_samba_conf() { # README_BLOCK
    local dir settings=()
    for dir in state lock pid cache private ncalrpc binddns; do
        mkdir -p "$samba/server/$dir"
    done
    {
        printf '%s\n' "[global]" "    server role = standalone server" \
            "    smb ports = $samba_port" "    interfaces = 127.0.0.1" \
            "    bind interfaces only = yes" "    disable netbios = yes" \
            "    load printers = no" "    printcap name = /dev/null" "    disable spoolss = yes" \
            "    log file = $samba/smbd.log" "    max log size = 0" \
            "    state directory = $samba/server/state" "    lock directory = $samba/server/lock" \
            "    pid directory = $samba/server/pid" "    cache directory = $samba/server/cache" \
            "    private dir = $samba/server/private" "    ncalrpc dir = $samba/server/ncalrpc" \
            "    binddns dir = $samba/server/binddns"
        printf '%s\n' "$1"
    } >"$samba_conf"
    # smbclient, too, reads no system configuration and keeps its files here.
    for dir in state lock pid cache; do
        mkdir -p "$samba/client/$dir"
        settings+=("    $dir directory = $samba/client/$dir")
    done
    mkdir -p "$samba/client/private"
    printf '%s\n' "[global]" "${settings[@]}" "    private dir = $samba/client/private" \
        >"$samba_client_conf"
}

# The README's paths, made the scratch world's: /mnt/, /srv/ and /media/ below the scratch
# root, and each partition /dev/sdXN the image file standing for it.
localise() {
    sed -E -e "s#(^|[^[:alnum:]_./-])/(mnt|srv|media)/#\\1$root/\\2/#g" \
        -e "s#/dev/(sd[a-z][0-9]+)#$root/dev/\\1.img#g"
}

# The mount points below the scratch root, the deepest first (findmnt writes a space as \x20).
mounts_below_root() {
    local mnt
    findmnt -rn -o TARGET | while read -r mnt; do
        mnt=$(printf '%b' "$mnt")
        [[ $mnt == "$root"/* ]] && printf '%s\n' "$mnt"
    done | sort -r
}

cleanup() {
    local status=$? mnt
    samba_stop
    # Mounts made by the blocks are undone too, the deepest first.
    while read -r mnt; do
        ntfs_unmount_firmly "$mnt"
    done < <(mounts_below_root)
    if [[ -n $(mounts_below_root) ]]; then
        say "still mounted below $root; left in place" >&2
    else
        rm -rf --one-file-system "$root"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- What the README's examples take the reader's machine to have ---------------------------

samples=$repo/samples
shared=$repo/../shared/samples
home=$root/home
downloads=$home/Downloads

make_world() {
    local convert=$build/veskar-convert fixture=$build/tests/tools/make_fixture device
    mkdir -p "$root/bin" "$root/man/man1" "$root/mnt" "$root/srv" "$root/media/$USER/STICK" \
        "$root/dev" "$downloads/Old Mac" "$home/archive" "$root/source/build" || return
    ln -s "$convert" "$root/bin/veskar-convert"
    cp "$build/cli/veskar-convert.1" "$root/man/man1/" || return

    # The source folder, made of links; its build/ a folder of links into the build.
    for entry in "$repo"/*; do
        [[ ${entry##*/} == build* ]] || ln -s "$entry" "$root/source/"
    done
    for entry in "$build"/*; do ln -s "$entry" "$root/source/build/"; done

    # ~/Downloads: one file of each form, a file that is no Mac file, and a folder of
    # genuine samples (the project's own where the shared ones are missing).
    "$convert" -q --layout binhex "$downloads" "$samples/Icon Tool.bin" || return
    cp "$samples/Read Me.bin" "$downloads/"
    cp "$samples/not-a-mac-file.txt" "$downloads/notes.txt"
    printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00' >"$root/photo.data"
    head -c 300 /dev/urandom >>"$root/photo.data"
    head -c 500 /dev/urandom >"$root/photo.rsrc"
    "$fixture" appledouble "$downloads" photo.jpg JPEG8BIM "$root/photo.data" \
        "$root/photo.rsrc" || return
    if [[ -d $shared ]]; then
        cp -r "$shared"/{binhex,macbinary,applesingle,appledouble} "$downloads/Old Mac/"
        chmod -R u+w "$downloads/Old Mac"
    else
        cp "$samples"/*.bin "$downloads/Old Mac/"
    fi
    cp "$samples"/*.bin "$home/archive/"

    # An NTFS image for each partition a block names.
    while read -r device; do
        ntfs_make "$root$device.img" 32 "${device##*/}" || return
    done < <(grep -oE '/dev/sd[a-z][0-9]+' "$readme" | sort -u)
    # The old Services for Macintosh disk, /dev/sdd1, and the servers' trees.
    ntfs_mount "$root/dev/sdd1.img" "$root/sfm-was" || return
    "$convert" -q "$root/sfm-was" "$samples"/*.bin || return
    ntfs_unmount "$root/sfm-was" || return
    "$convert" -q --layout netatalk2 "$root/srv/afp" "$samples"/*.bin || return
    "$convert" -q --layout fruit "$root/srv/samba" "$samples/Read Me.bin" || return
    "$convert" -q --layout fruit "$root/srv/samba/Games" "$samples/Icon Tool.bin" || return
    # The NTFS stick /dev/sdc1 as the desktop mounted it: without named streams.
    mkdir -p "$root/media/$USER/NTFS STICK"
    ntfs-3g "$root/dev/sdc1.img" "$root/media/$USER/NTFS STICK" || return
}

export HOME=$home USER=${USER:-$(id -un)} LOGNAME=${LOGNAME:-$(id -un)}
export PATH=$root/bin:$PATH MANPATH=$root/man MANPAGER=cat PAGER=cat
make_world || {
    say "FAIL: the scratch world could not be made"
    exit 1
}
chmod 755 "$root/srv"

# --- The blocks ------------------------------------------------------------------------------

prelude=$root/prelude.sh
{
    declare -p root build samba samba_conf samba_client_conf samba_pid samba_password \
        samba_port smbd
    declare -f "${stand_ins[@]}"
} >"$prelude"

passed=0 failed=0 not_run=0 number=0

run_block() { # MARK BLOCK LINE
    local mark=$1 text=$2 line=$3 where=$downloads expect="" status=0 got script log
    [[ $mark =~ (^|[[:space:]])in=source($|[[:space:]]) ]] && where=$root/source
    [[ $mark =~ expect=\"([^\"]*)\" ]] && expect=${BASH_REMATCH[1]}
    [[ $mark =~ status=([0-9]+) ]] && status=${BASH_REMATCH[1]}
    number=$((number + 1))
    script=$root/block-$number.sh
    log=$root/block-$number.log
    {
        printf 'source %q\ncd %q || exit 99\nset -e\n' "$prelude" "$where"
        printf '%s\n' "$text" | localise
    } >"$script"
    bash "$script" >"$log" 2>&1
    got=$?
    local first=${text%%$'\n'*}
    if [[ $got != "$status" ]]; then
        say "FAIL README.md:$line: $first: exit status $got, expected $status"
    elif [[ -n $expect ]] && ! grep -qF -- "$expect" "$log"; then
        say "FAIL README.md:$line: $first: the output lacks \"$expect\""
    else
        say "ok   README.md:$line: $first"
        passed=$((passed + 1))
        return
    fi
    failed=$((failed + 1))
    sed 's/^/       | /' "$log"
}

mapfile -t lines <"$readme"
# A mark counts only on the line right before its block.
mark=""
for ((i = 0; i < ${#lines[@]}; i++)); do
    line=${lines[i]}
    if [[ $line =~ ^\<!--\ (run|not\ run)(:.*)?\ --\>$ ]]; then
        mark=$line
        continue
    fi
    if [[ $line =~ ^\`\`\`(sh|ini)$ ]]; then
        kind=${BASH_REMATCH[1]} start=$((i + 1)) text=""
        while ((++i < ${#lines[@]})) && [[ ${lines[i]} != '```' ]]; do
            text+=${lines[i]}$'\n'
        done
        text=${text%$'\n'}
        if [[ $kind == ini ]]; then
            [[ $mark == *smb.conf* ]] && write_samba_conf "$(printf '%s\n' "$text" | localise)"
        elif [[ -z $mark ]]; then
            say "FAIL README.md:$start: a sh block without a run or not-run mark"
            failed=$((failed + 1))
        elif [[ $mark == "<!-- not run"* ]]; then
            reason=${mark#<!-- not run: }
            say "--   README.md:$start: not run: ${reason% -->}"
            not_run=$((not_run + 1))
        else
            run_block "$mark" "$text" "$start"
        fi
        mark=""
        continue
    fi
    mark=""
done

# --- What the README says besides its blocks ------------------------------------------------

check() { # WHAT CONDITION...
    local what=$1
    shift
    if "$@"; then
        say "ok   $what"
        passed=$((passed + 1))
    else
        say "FAIL $what"
        failed=$((failed + 1))
    fi
}
refused() { ! "$@"; }

# The long options of the README's table of options and of --help, one a line.
table_options() {
    grep -E '^\| `-' "$readme" | cut -d'|' -f2 | grep -oE -- '--[a-z-]+' | sort -u
}
help_options() {
    "$build/veskar-convert" --help | grep -E '^ +(-[a-zA-Z], )?--[a-z]' |
        grep -oE -- '--[a-z-]+' | sort -u
}
same_options() {
    diff <(table_options) <(help_options) | sed -n 's/^</     only in the table:/p; s/^>/     only in --help:/p'
    [[ $(table_options) == "$(help_options)" ]]
}
check "the table of options holds the options --help lists, and no other" same_options

# The Samba share as the README says it behaves.
share=$root/srv/macfiles
printf 'written through Samba\n' >"$root/upload.txt"
listed() { smbclient -N -L //localhost 2>&1 | grep -q '^[[:space:]]*macfiles[[:space:]]'; }
put_as() { # NAME USER_OPTION...
    local name=$1
    shift
    (cd "$root" && smbclient //localhost/macfiles "$@" -c "put upload.txt $name") >/dev/null 2>&1
    [[ -f $share/$name ]]
}
if [[ -f $samba_pid ]]; then
    check "Samba lists the share macfiles" listed
    check "the user that smbpasswd made writes to the share" \
        put_as by-user.txt -U "$USER%$samba_password"
    check "a guest does not write to the share" refused put_as by-guest.txt -N
else
    say "FAIL the README's commands started no smbd"
    failed=$((failed + 1))
fi

say "$passed passed, $failed failed, $not_run not run"
((failed == 0))
