#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 and tests them under Wine against real NTFS
# volumes.
#
#   scripts/test-windows.sh
#
# 1. Installs what is missing: the MinGW-w64 cross compilers (posix threads, which GoogleTest
#    needs), Wine, ntfs-3g, CMake, Ninja and GoogleTest's sources.
# 2. Cross-builds veskar-convert.exe, the 32-bit program, into build-win32/ (one static .exe).
# 3. Makes two NTFS images (32 and 8 MiB), mounts them with ntfs-3g's Windows stream interface
#    and links them as Wine's drives N: and M:, so that ".\name:AFP_Resource" opens a real
#    named stream. Runs veskar_tests.exe there, then converts one file of each format with
#    veskar-convert.exe onto N:, unmounts, and checks every output's streams with ntfs-3g's
#    own ntfsinfo and ntfscat.
#
# Wine runs 32-bit Windows programs through its 32-bit Linux side, which needs a kernel that
# runs 32-bit programs. Where it does not (ia32 emulation off), the same sources are built
# for 64-bit Windows too (build-win64/) and those are the programs tested; the script says so.
#
# Needs root (apt-get, FUSE mounts). Exit status 0 when every test passed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"

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
mounts=()
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    local status=$?
    if [[ -d $WINEPREFIX ]] && command -v wineserver >/dev/null; then
        wineserver -k 2>/dev/null || true
    fi
    for mnt in "${mounts[@]}"; do
        if mountpoint -q "$mnt" 2>/dev/null; then
            umount "$mnt" 2>/dev/null || { sleep 0.5 && umount "$mnt" 2>/dev/null; } ||
                umount -l "$mnt" 2>/dev/null || true
        fi
    done
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

packages=(cmake ninja-build googletest ntfs-3g fuse3 wine g++-mingw-w64-i686-posix)
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

# -O2 without debug information: GCC 12 gives false -Wrestrict warnings at -O3, and the debug
# information of a static test program triples the build time.
configure() { # BUILD_DIR TOOLCHAIN
    cmake -S "$root" -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DVESKAR_BENCH=OFF >/dev/null
}
# The 32-bit test program is built in any case: only there is size_t 32 bits wide.
configure "$root/build-win32" mingw-w64-i686.cmake
cmake --build "$root/build-win32" --target veskar-convert veskar_tests
if [[ $tested == win64 ]]; then
    configure "$root/build-win64" mingw-w64-x86_64.cmake
    cmake --build "$root/build-win64" --target veskar-convert veskar_tests
fi
build=$root/build-$tested
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
    truncate -s "$2M" "$image"
    mkntfs -Q -F -L "VESKAR-$1" "$image" >/dev/null 2>&1 || fail "mkntfs failed for $image"
    mkdir "$mnt"
    ntfs-3g -o streams_interface=windows "$image" "$mnt"
    mounts+=("$mnt")
    ln -sfn "$mnt" "$WINEPREFIX/dosdevices/$1:"
    image_of[$1]=$image
}
attach n 32
attach m 8
export VESKAR_NTFS_32MIB='N:\' VESKAR_NTFS_8MIB='M:\'
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

# A MacBinary file from its parts: NAME TYPECREATOR DATA RESOURCE OUT.
make_macbinary() {
    local name=$1 tc=$2 data=$3 resource=$4 out=$5 d r
    d=$(stat -c %s "$data")
    r=$(stat -c %s "$resource")
    {
        printf '\0'
        printf "\\x$(printf %02x "${#name}")"
        printf '%s' "$name"
        head -c $((63 - ${#name})) /dev/zero
        printf '%s' "$tc"
        head -c 10 /dev/zero
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((d >> 24 & 255)) $((d >> 16 & 255)) $((d >> 8 & 255)) $((d & 255)))"
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((r >> 24 & 255)) $((r >> 16 & 255)) $((r >> 8 & 255)) $((r & 255)))"
        head -c 37 /dev/zero
        cat "$data"
        head -c $(((128 - d % 128) % 128)) /dev/zero
        cat "$resource"
        head -c $(((128 - r % 128) % 128)) /dev/zero
    } >"$out"
}

# The forks of an existing MacBinary file, for what its output must hold: SOURCE STEM.
# Prints the output name (code page 1252 turned into UTF-8) and the type and creator.
split_macbinary() {
    local src=$1 stem=$2 n d r
    n=$(od -An -tu1 -j1 -N1 "$src" | tr -d ' ')
    d=$((16#$(od -An -tx1 -j83 -N4 "$src" | tr -d ' ')))
    r=$((16#$(od -An -tx1 -j87 -N4 "$src" | tr -d ' ')))
    tail -c +129 "$src" | head -c "$d" >"$stem.data"
    if ((r > 0)); then
        tail -c +$((129 + (d + 127) / 128 * 128)) "$src" | head -c "$r" >"$stem.rsrc"
    fi
    dd if="$src" bs=1 skip=2 count="$n" 2>/dev/null | iconv -f CP1252 -t UTF-8
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
make_macbinary f APPLVSKR "$cases/f.data" "$cases/f.rsrc" "$cases/f.bin"
add_case macbinary "$cases/f.bin" f APPLVSKR "$cases/f.data" "$cases/f.rsrc"
# The other formats join here as their imports land: add_case applesingle ..., and so on.

mkdir "$work/n/convert"
say "veskar-convert.exe ($tested) onto N:"
for entry in "${case_list[@]}"; do
    IFS='|' read -r format source _ <<<"$entry"
    if ! wine "$build/veskar-convert.exe" --json -f "$format" 'N:\convert' "$(native "$source")"; then
        printf 'FAILED: veskar-convert.exe -f %s %s\n' "$format" "$source"
        status=1
    fi
done

wineserver -k 2>/dev/null || true
for mnt in "${mounts[@]}"; do umount "$mnt"; done
mounts=()

# --- The outputs, read back with ntfs-3g's own tools ------------------------------------------

image=${image_of[n]}
# The named data streams of a file, one "NAME SIZE" a line.
named_streams() {
    ntfsinfo -f -F "/convert/$1" "$image" 2>/dev/null | awk '
        /^Dumping attribute/ { if (inData && name != "") print name, size
                               inData = index($0, "$DATA") > 0; name = ""; size = 0; next }
        inData && /Attribute name:/ { name = $0; sub(/^[^'\'']*'\''/, "", name); sub(/'\''[^'\'']*$/, "", name) }
        inData && /^[ \t]*Data size:/ { size = $3 }
        END { if (inData && name != "") print name, size }' | sort
}
stream_bytes() { # NAME [STREAM]
    if [[ -n ${2:-} ]]; then
        ntfscat -f -a 0x80 -n "$2" "$image" "/convert/$1" 2>/dev/null
    else
        ntfscat -f "$image" "/convert/$1" 2>/dev/null
    fi
}
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
for entry in "${case_list[@]}"; do
    IFS='|' read -r format source out tc data resource <<<"$entry"
    expected_names+=("$out")
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
say "veskar-convert.exe outputs on NTFS: $passed passed, $failed failed"
((failed == 0)) || status=1
phase_end "veskar-convert.exe and the NTFS checks"
exit "$status"
