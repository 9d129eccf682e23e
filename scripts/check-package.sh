#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian package from the build folder given and checks it as a fresh Debian 12
# machine would meet it: its files, its declared dependencies (all resolvable from the
# Debian 12 archive), and the programs run from an unpacked copy.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/veskar_*.deb)

expected="./usr/bin/veskar
./usr/bin/veskar-convert
./usr/share/applications/veskar.desktop
./usr/share/bash-completion/completions/veskar-convert
./usr/share/doc/veskar/CHANGELOG.md
./usr/share/doc/veskar/LICENSE
./usr/share/doc/veskar/copyright
./usr/share/icons/hicolor/scalable/apps/veskar.svg
./usr/share/man/man1/veskar-convert.1
./usr/share/zsh/vendor-completions/_veskar-convert"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
if [ "$actual" != "$expected" ]; then
    echo "package contents differ:"; diff <(echo "$expected") <(echo "$actual") || true; exit 1
fi

# Every dependency names a package that Debian 12 has, at a version it has.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
    apt-cache show "$dep" >/dev/null 2>&1 || { echo "no Debian package $dep"; exit 1; }
done
# apt resolves the whole package as an install on this machine would, without installing.
if command -v apt-get >/dev/null; then
    apt-get install --simulate --no-install-recommends "$deb" >/dev/null
fi

# The programs from an unpacked copy, outside the build tree.
dpkg-deb -x "$deb" "$work/root"
convert="$work/root/usr/bin/veskar-convert"
# (Whole outputs are taken first: grep -q would stop reading early, and under pipefail the
# writer's broken pipe would fail the check at random.)
version=$("$convert" --version)
[[ "$version" =~ ^veskar-convert\ [0-9.]+$ ]] || { echo "version: $version"; exit 1; }
help=$("$convert" --help)
[[ "$help" == *--verify* ]] || { echo "the help lacks --verify"; exit 1; }
if command -v man >/dev/null; then
    page=$(man -l "$work/root/usr/share/man/man1/veskar-convert.1" 2>/dev/null)
    [[ "$page" == *VESKAR-CONVERT* ]] || { echo "the man page does not render"; exit 1; }
fi
status=0
"$convert" "$work" /nonexistent 2>"$work/err" || status=$?
[ "$status" = 2 ] || { echo "an unusable target gave $status, not 2"; exit 1; }
grep -q '^License: Apache-2.0$' "$work/root/usr/share/doc/veskar/copyright" ||
    { echo "the package's copyright names no licence"; exit 1; }
desktop-file-validate "$work/root/usr/share/applications/veskar.desktop" 2>/dev/null || true

# Qt loads its plugins at run time, out of dpkg-shlibdeps' sight: every plugin the window
# loads on its way up (its SVG icon among them) must come from a package that Depends names.
window_log=$work/window.log
status=0
QT_QPA_PLATFORM=offscreen QT_DEBUG_PLUGINS=1 timeout 3 "$work/root/usr/bin/veskar" \
    >"$window_log" 2>&1 || status=$?
[ "$status" = 124 ] || { tail -20 "$window_log"; echo "veskar ended with $status at once"; exit 1; }
plugins=$(sed -n 's/^.*"\([^"]*\)" loaded library$/\1/p' "$window_log")
[[ "$plugins" == *libqsvgicon.so* ]] || { echo "veskar did not load its SVG icon engine"; exit 1; }
for plugin in $plugins; do
    owner=$(dpkg -S "$plugin" 2>/dev/null | head -1 | cut -d: -f1)
    [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] ||
        { echo "the window loads $plugin from ${owner:-no package}, which Depends lacks"; exit 1; }
done
echo "package ok: $(basename "$deb")"
