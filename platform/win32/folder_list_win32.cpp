// SPDX-License-Identifier: Apache-2.0
// A folder's entries through the standard library, whose listing carries each entry's type.
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

namespace fs = std::filesystem;

// The entry's own type, links not followed, from the listing where it gives one.
fs::file_type TypeOf(const fs::directory_entry& entry) {
    std::error_code error;
    if (entry.is_symlink(error)) return fs::file_type::symlink;
    if (error) return fs::file_type::unknown;
    if (entry.is_directory(error)) return fs::file_type::directory;
    if (entry.is_regular_file(error)) return fs::file_type::regular;
    return fs::file_type::unknown;  // anything else counts alike
}

}  // namespace

bool ListFolder(const fs::path& folder,
                const std::function<void(std::string_view, fs::file_type)>& take,
                std::error_code& error) {
    fs::directory_iterator it(folder, error), end;
    if (error) return false;
    for (; it != end; it.increment(error))
        take(NativeOfPath(it->path().filename()), TypeOf(*it));
    // A failed step ends the iteration as its end would.
    return !error;
}

}  // namespace platform

}  // namespace veskar
