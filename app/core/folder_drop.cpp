// SPDX-License-Identifier: Apache-2.0
#include "app/core/folder_drop.h"

#include <filesystem>
#include <system_error>

#include "app/core/conversion_run.h"
#include "platform/platform.h"

namespace veskar {

std::optional<std::string> DroppedTargetFolder(const std::vector<std::string>& paths) {
    if (paths.size() != 1 || paths.front().empty()) return std::nullopt;
    std::error_code error;
    if (!std::filesystem::is_directory(platform::PathOfNative(paths.front()), error))
        return std::nullopt;
    std::string folder = platform::WithTrailingSeparator(paths.front());
    if (folder.size() > kRunPathChars) return std::nullopt;
    return folder;
}

}  // namespace veskar
