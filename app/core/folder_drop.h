// SPDX-License-Identifier: Apache-2.0
// What a drop on a page's target folder box puts into it, free of any toolkit: a single local
// folder becomes its path in the form the window keeps folders in, as if typed. Anything else
// a file manager drags (files, several items, URLs) is refused, so that no URI or file name
// ever lands in the box as text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veskar {

// `paths` are the native paths of the dropped local items. The folder with its trailing
// separator; nullopt when the drop is not exactly one existing folder, or when its path with
// the separator would not fit the 255 characters the conversion run cuts a target folder to.
std::optional<std::string> DroppedTargetFolder(const std::vector<std::string>& paths);

}  // namespace veskar
