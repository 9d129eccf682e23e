// SPDX-License-Identifier: Apache-2.0
// The held folders, as the posix twin's folder lookup enters them.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace veskar {

namespace platform {

namespace held {

// Whether a holding is open.
bool Active();
// The open folder held for `path` (whose look just taken is `info`), opened and held now when
// it is not held yet, and made the current held folder; nullopt with `problem` when `path`
// no longer names the folder held for it, or it cannot be opened.
std::optional<int> Enter(const std::string& path, const struct stat& info, std::string& problem);

}  // namespace held

}  // namespace platform

}  // namespace veskar
