// SPDX-License-Identifier: Apache-2.0
// A consistency check of an HFS ("Mac OS Standard") volume in an image file, as a disk utility
// makes it: the master directory blocks, the volume bitmap against every extent in use, both
// B-trees node by node, and the catalog's threads, valences and counts. Written from Inside
// Macintosh: Files and what hfsutils and Linux's hfs driver rely on, independent of core/hfs, so
// that the tests of the HFS library have a judge of their own.
#pragma once

#include <string>
#include <vector>

namespace veskar {

// Every inconsistency found in the volume of the image at `path` (a raw volume, or the first
// Apple_HFS partition of an Apple partition map), one line each; empty when the volume holds
// together. A damaged image is never read past its end or looped on.
std::vector<std::string> CheckHfsImage(const std::string& path);

}  // namespace veskar
