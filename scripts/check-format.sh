#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails when a C++ file is not as the project's .clang-format would write it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
[ -z "$files" ] && exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
