#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Windows programs with MinGW-w64 and tests them under Wine against real NTFS
# volumes.
#
#   scripts/test-windows.sh
#
# 1. Installs what is missing: the MinGW-w64 cross compilers (posix threads, which GoogleTest
#    needs), Wine, ntfs-3g, CMake, Ninja and GoogleTest's sources.
# 2. Cross-builds the 32-bit programs veskar.exe and veskar-convert.exe (each one static .exe)
#    into build-win32/ as the Release build users make, with the tests and the window's test
#    build, veskar_test_hook.exe.
# 3. Makes three NTFS images (32, 8 and 64 MiB), mounts them with ntfs-3g's Windows stream
#    interface and links them as Wine's drives N:, M: and O:, so that ".\name:AFP_Resource" opens a real
#    named stream. Runs veskar_tests.exe there, then converts files of each format (BinHex,
#    MacBinary, AppleSingle, an AppleDouble pair) with veskar-convert.exe onto N:, unmounts,
#    and checks every output's streams with ntfs-3g's own ntfsinfo and ntfscat.
#
# Wine runs 32-bit Windows programs through its 32-bit Linux side, which needs a kernel that
# runs 32-bit programs. Where it does not (ia32 emulation off), the same sources are built
# for 64-bit Windows too (build-win64/) and those are the programs tested; the script says so.
#
# Needs root (apt-get, FUSE mounts). Exit status 0 when every test passed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
. "$root/scripts/ntfs_volume.sh"

say() { printf '== %s\n' "$*"; }
fail() {
    printf 'test-windows.sh: %s\n' "$*" >&2
    exit 1
}
phase_start=$SECONDS
phase_end() {
    say "$1 took $((SECONDS - phase_start)) s"
    phase_start=$SECONDS
}

work=$(mktemp -d "${TMPDIR:-/tmp}/veskar-windows-XXXXXX")
xvfb_pid=
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    local status=$?
    if [[ -d $WINEPREFIX ]] && command -v wineserver >/dev/null; then
        wineserver -k 2>/dev/null || true
    fi
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    ntfs_unmount_all
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- Install ------------------------------------------------------------------------------

# Whether the kernel runs 32-bit x86 programs: a 93-byte 32-bit ELF that only exits with 0.
runs_32bit() {
    local probe=$work/elf32
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
}

packages=(cmake ninja-build g++ googletest ntfs-3g fuse3 wine g++-mingw-w64-i686-posix xvfb)
if runs_32bit; then
    tested=win32
    # wine32 is an i386 package; veskar_install updates the lists since it is missing.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    packages+=(wine32:i386)
else
    tested=win64
    say "this kernel runs no 32-bit programs, so Wine cannot run 32-bit Windows programs here:"
    say "the tests run on the same sources built for 64-bit Windows (build-win64/)"
    packages+=(wine64 g++-mingw-w64-x86-64-posix)
fi
veskar_install "${packages[@]}"
phase_end "install"

# --- Build --------------------------------------------------------------------------------

# The Release build as users make it, with its own flags (a build folder of an earlier script
# may hold others); no debug information, which would triple the build time of the static
# test programs.
configure() { # BUILD_DIR TOOLCHAIN
    cmake -S "$root" -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
        -DCMAKE_BUILD_TYPE=Release -DVESKAR_WERROR=ON -UCMAKE_CXX_FLAGS_RELEASE >/dev/null
}
# The 32-bit programs are built in any case; their tests only where they can run, unless
# VESKAR_WINDOWS_ALL=1 asks for them (only there is size_t 32 bits wide, which the compiler
# checks even where nothing runs them).
programs=(veskar-convert veskar)
targets=("${programs[@]}" veskar_tests veskar_test_hook veskar_window_test)
configure "$root/build-win32" mingw-w64-i686.cmake
if [[ $tested == win32 || ${VESKAR_WINDOWS_ALL:-0} == 1 ]]; then
    cmake --build "$root/build-win32" --target "${targets[@]}"
else
    cmake --build "$root/build-win32" --target "${programs[@]}"
fi
if [[ $tested == win64 ]]; then
    configure "$root/build-win64" mingw-w64-x86_64.cmake
    cmake --build "$root/build-win64" --target "${targets[@]}"
fi
build=$root/build-$tested
# The fixture tool runs here, on the build machine: a native build of its own.
cmake -S "$root/tests/tools" -B "$root/build-fixture-tool" -G Ninja -DVESKAR_WERROR=ON >/dev/null
cmake --build "$root/build-fixture-tool"
fixture_tool=$root/build-fixture-tool/make_fixture
phase_end "build"

# Debian's wine launcher prefers the 32-bit loader whenever wine32 is installed, even where it
# cannot run; the 64-bit one is called by name then.
if [[ $tested == win64 ]]; then
    export WINELOADER=/usr/lib/wine/wine64
    wine() { /usr/lib/wine/wine64 "$@"; }
fi

# --- NTFS drives for Wine -------------------------------------------------------------------

[[ -r /dev/fuse && -w /dev/fuse ]] || fail "/dev/fuse is not usable, so ntfs-3g cannot mount"
wine wineboot.exe -i >/dev/null 2>&1 || fail "wineboot could not make the Wine prefix"

declare -A image_of
attach() { # LETTER MEGABYTES
    local image=$work/$1.img mnt=$work/$1
    ntfs_volume_up "$image" "$2" "$mnt" "VESKAR-$1" || fail "no NTFS volume $image"
    ln -sfn "$mnt" "$WINEPREFIX/dosdevices/$1:"
    image_of[$1]=$image
}
attach n 32
attach m 8
attach o 64
# Wine's mount manager reads the drive links when Wine starts; until then the shell, and so
# the folder dialog's tree, cannot reach N:, M: or O:. Wine starts afresh with them.
wineserver -k 2>/dev/null || true
wineserver -w
export VESKAR_NTFS_32MIB='N:\' VESKAR_NTFS_8MIB='M:\' VESKAR_NTFS_64MIB='O:\'
# Code page 1252 for the ANSI calls, as on a Western Windows.
export LC_ALL=C.UTF-8

# --- Unit tests ---------------------------------------------------------------------------

status=0
say "veskar_tests.exe ($tested) under Wine"
wine "$build/tests/veskar_tests.exe" --gtest_brief=1 || status=1
phase_end "veskar_tests.exe"

# --- veskar-convert.exe onto N: --------------------------------------------------------------

cases=$work/cases
mkdir "$cases"
native() { wine winepath.exe -w "$1" 2>/dev/null | tr -d '\r'; }

# One case per line: FORMAT SOURCE OUTPUT TYPE_CREATOR DATA RESOURCE, where DATA and RESOURCE
# are files with the bytes the output's streams must hold ("-" for no AFP_Resource stream).
case_list=()
add_case() { case_list+=("$1|$2|$3|$4|$5|$6"); }

# Fixture files in each format from the test suite's own encoders: FORMAT OUT NAME
# TYPECREATOR DATA RESOURCE (for appledouble OUT is the folder that gets the pair).
make_fixture() { "$fixture_tool" "$@"; }

# The forks of an existing MacBinary file, for what its output must hold: SOURCE STEM.
# Prints the output name (the Mac Roman name as the command line translates it, in UTF-8)
# and the type and creator.
split_macbinary() {
    local src=$1 stem=$2 n d r
    n=$(od -An -tu1 -j1 -N1 "$src" | tr -d ' ')
    d=$((16#$(od -An -tx1 -j83 -N4 "$src" | tr -d ' ')))
    r=$((16#$(od -An -tx1 -j87 -N4 "$src" | tr -d ' ')))
    tail -c +129 "$src" | head -c "$d" >"$stem.data"
    if ((r > 0)); then
        tail -c +$((129 + (d + 127) / 128 * 128)) "$src" | head -c "$r" >"$stem.rsrc"
    fi
    dd if="$src" bs=1 skip=2 count="$n" 2>/dev/null | iconv -f MACINTOSH -t UTF-8
    printf '|'
    dd if="$src" bs=1 skip=65 count=8 2>/dev/null
    echo
}

for sample in "$root"/samples/*.bin; do
    stem=$cases/$(basename "$sample" .bin)
    IFS='|' read -r out tc < <(split_macbinary "$sample" "$stem")
    resource=-
    [[ -f $stem.rsrc ]] && resource=$stem.rsrc
    add_case macbinary "$sample" "$out" "$tc" "$stem.data" "$resource"
done
# A one-letter name: "f:AFP_Resource" would be a path on drive F:.
head -c 70000 /dev/urandom >"$cases/f.data"
head -c 333 /dev/urandom >"$cases/f.rsrc"
make_fixture macbinary "$cases/f.bin" f APPLVSKR "$cases/f.data" "$cases/f.rsrc"
add_case macbinary "$cases/f.bin" f APPLVSKR "$cases/f.data" "$cases/f.rsrc"
# The other three formats, each with a run of zeros and the byte 0x90 in its data fork.
{ head -c 1500 /dev/urandom; head -c 100 /dev/zero; printf '\x90\x90\x90end'; } >"$cases/x.data"
head -c 300 /dev/urandom >"$cases/x.rsrc"
make_fixture binhex "$cases/notes.hqx" "Hex Notes" TEXTttxt "$cases/x.data" "$cases/x.rsrc"
add_case binhex "$cases/notes.hqx" "Hex Notes" TEXTttxt "$cases/x.data" "$cases/x.rsrc"
# The real name is Mac Roman: 0x8E is the letter e with an acute accent.
make_fixture applesingle "$cases/single.as" $'Caf\x8e' APPLVSKS "$cases/x.data" "$cases/x.rsrc"
add_case applesingle "$cases/single.as" "Café" APPLVSKS "$cases/x.data" "$cases/x.rsrc"
# A pair: the data file holds the data fork, its "._" companion the rest.
mkdir "$cases/pair"
make_fixture appledouble "$cases/pair" Photo JPEGogle "$cases/x.data" "$cases/f.rsrc"
add_case appledouble "$cases/pair/Photo" Photo JPEGogle "$cases/x.data" "$cases/f.rsrc"

mkdir "$work/n/convert"
say "veskar-convert.exe ($tested) onto N:"
for entry in "${case_list[@]}"; do
    IFS='|' read -r format source _ <<<"$entry"
    if ! wine "$build/veskar-convert.exe" --json -f "$format" 'N:\convert' "$(native "$source")"; then
        printf 'FAILED: veskar-convert.exe -f %s %s\n' "$format" "$source"
        status=1
    fi
done

# A file with its dates, which must become the output's creation and modification times.
dated_sample="$root/../shared/samples/macbinary/Date Test.bin"
if [[ -f $dated_sample ]]; then
    mkdir "$work/n/dated"
    wine "$build/veskar-convert.exe" -q 'N:\dated' "$(native "$dated_sample")" || status=1
fi

phase_end "veskar-convert.exe"

# --- The window under Xvfb: its test build, and veskar.exe for the hook it must lack ----------

# Its sources on N: under short names, so that their order in the list is the same under any
# collation; its target is a folder of its own there.
mkdir -p "$work/n/src/pair" "$work/n/window"
cp "$cases/pair/Photo" "$cases/pair/._Photo" "$work/n/src/pair/"
printf 'no companion' >"$work/n/src/zeta"
printf 'no companion' >"$work/n/src/alone"
display=90
while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
say "veskar.exe ($tested) under Xvfb and Wine"
# Wine draws the windows' frames itself on a desktop of its own: Xvfb has no window manager.
# explorer.exe does not pass on the test's exit status, so its last line tells.
screenshot=$build/veskar-window.png
window_log=$work/window.log
DISPLAY=":$display" wine explorer.exe /desktop=VESKAR,800x600 \
    "$(native "$build/veskar_window_test.exe")" "$(native "$build/veskar_test_hook.exe")" \
    "$(native "$build/veskar.exe")" 'N:\src' 'N:\window' "$(native "$screenshot")" 2>/dev/null | tr -d '\r' | tee "$window_log" |
    grep -v '^ok: ' || true
grep -qx 'veskar.exe window: 0 failed' "$window_log" || status=1
say "the window's picture: $screenshot"

wineserver -k 2>/dev/null || true
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=
for mnt in "${ntfs_mounts[@]}"; do ntfs_unmount "$mnt"; done

# --- The outputs, read back with ntfs-3g's own tools ------------------------------------------

image=${image_of[n]}
# The named data streams of a file, one "NAME SIZE" a line.
named_streams() { ntfs_streams "$image" "/$folder/$1" | awk '$1 != "::DATA"' | sort; }
stream_bytes() { ntfs_cat "$image" "/$folder/$1" "${2:-}"; } # NAME [STREAM]
check() { # WHAT CONDITION...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        printf 'FAILED: %s\n' "$what"
        failed=$((failed + 1))
    fi
}
# The AfpInfo record begins with its signature "AFP\0", version 0x00010000, a zero word and
# the backup time 0x80000000 (all little-endian); the type and creator follow.
afp_head=41465000000001000000000000000080
passed=0 failed=0
expected_names=()
folder=convert
# The window converted the pair into its own folder.
case_list+=("window|-|Photo|JPEGogle|$cases/x.data|$cases/f.rsrc")
for entry in "${case_list[@]}"; do
    IFS='|' read -r format source out tc data resource <<<"$entry"
    if [[ $format == window ]]; then
        folder=window
    else
        expected_names+=("$out")
    fi
    want_streams="AFP_AfpInfo 60"
    [[ $resource != - ]] && want_streams+=$'\n'"AFP_Resource $(stat -c %s "$resource")"
    check "$out: streams" test "$(named_streams "$out")" == "$want_streams"
    check "$out: data fork" cmp -s <(stream_bytes "$out") "$data"
    if [[ $resource != - ]]; then
        check "$out: AFP_Resource" cmp -s <(stream_bytes "$out" AFP_Resource) "$resource"
    fi
    info=$(stream_bytes "$out" AFP_AfpInfo | od -An -v -tx1 | tr -d ' \n')
    tc_hex=$(printf '%s' "$tc" | od -An -v -tx1 | tr -d ' \n')
    check "$out: AFP_AfpInfo header, type and creator" \
        test "${info:0:48}" == "$afp_head$tc_hex"
done
# Nothing else landed in the folder (ntfsls lists the folder itself as ".").
listing=$(ntfsls -f "$image" -p /convert | grep -vx '\.' | sort)
check "the folder holds exactly the outputs" \
    test "$listing" == "$(printf '%s\n' "${expected_names[@]}" | sort)"
# The standard information's times, as ntfsinfo shows them.
ntfs_time() { ntfsinfo -f -F "$2" "$image" 2>/dev/null | grep -m1 "$1:" | sed 's/^[^:]*:[[:space:]]*//'; }
# Wine takes no creation time on a Linux file system (SetFileTime sets the others), so only the
# modification time can show here.
if [[ -f $dated_sample ]]; then
    check "Date Test: modification time" test "$(ntfs_time 'File Altered Time' '/dated/Date Test')" \
        == "Sun Mar 26 10:00:52 2023 UTC"
fi
say "veskar-convert.exe and veskar.exe outputs on NTFS: $passed passed, $failed failed"
((failed == 0)) || status=1
phase_end "veskar.exe and the NTFS checks"
exit "$status"
