#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Takes a screenshot of each page of the window into docs/screenshots/, on a virtual X
# server that xvfb-run starts and stops.
#
#   scripts/screenshots.sh [BUILD_DIR]     (BUILD_DIR defaults to build/ in the repository)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tool=$build/tests/window/veskar_screenshots
[[ -x $tool ]] || {
    echo "screenshots.sh: no $tool; build first" >&2
    exit 2
}
mkdir -p "$root/docs/screenshots"
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb "$tool" "$root/docs/screenshots"
ls -l "$root/docs/screenshots"
