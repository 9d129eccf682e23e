#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job: install what is missing, build, and then open the window veskar when a
# display is there; without one, convert the bundled sample files into a freshly made NTFS
# volume, listing what was written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
veskar_install "${VESKAR_BUILD_PACKAGES[@]}"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
if [ -n "${DISPLAY:-}" ]; then
    exec "$build/veskar"
fi
exec "$root/scripts/demo.sh" "$build"
