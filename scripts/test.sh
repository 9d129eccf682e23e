#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
veskar_install "${VESKAR_BUILD_PACKAGES[@]}" clang-format
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
"$root/scripts/check-format.sh"
ctest --test-dir "$build" --output-on-failure -j2
