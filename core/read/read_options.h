// SPDX-License-Identifier: Apache-2.0
// What a reader may take beyond what the window's imports read.
#pragma once

namespace veskar {

struct ReadOptions {
    // The variants other tools write that the window does not read: little-endian AppleSingle
    // and AppleDouble files, names in UTF-8, AppleDouble headers named "%NAME" or "NAME.rsrc".
    bool everyVariant = false;
};

}  // namespace veskar
