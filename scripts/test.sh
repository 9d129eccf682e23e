#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and runs every test: the suite, the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for a bounded time
# (VESKAR_FUZZ_SECONDS, 60 by default; 0 leaves fuzzing out), then the Windows programs
# cross-built and tested under Wine (VESKAR_WINDOWS=0 leaves them out).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/deps.sh"
veskar_install "${VESKAR_BUILD_PACKAGES[@]}" clang-format
"$root/scripts/check-format.sh"
# The shape of the includes: no cycle, the reading side apart from the writing side, the
# window and the command line apart.
python3 "$root/scripts/check-includes.py"

echo "== the test suite"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKAR_WERROR=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2

echo "== the test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
asan="$root/build-asan"
cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKAR_WERROR=ON -DVESKAR_SANITIZE=ON \
    -DVESKAR_BENCH=OFF >/dev/null
cmake --build "$asan"
# The 10,000-source load test runs once, in the plain suite: under the sanitizers it would
# take most of CI's time and test nothing more.
ctest --test-dir "$asan" --output-on-failure -j2 -E '^Load\.TenThousand'

fuzz_seconds=${VESKAR_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== fuzzing, $fuzz_seconds s per target"
    "$root/scripts/fuzz.sh" "$fuzz_seconds"
fi

if [ "${VESKAR_WINDOWS:-1}" != 0 ]; then
    echo "== the Windows programs under Wine"
    "$root/scripts/test-windows.sh"
fi
