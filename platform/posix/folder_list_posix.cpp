// SPDX-License-Identifier: Apache-2.0
// A folder's entries straight from readdir, with the type the listing gives: no path is built
// and no entry looked up, which matters when a large folder is read more than once.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

std::filesystem::file_type TypeOf(DIR* dir, const dirent& entry) {
    using std::filesystem::file_type;
    unsigned char type = entry.d_type;
    if (type == DT_UNKNOWN) {
        // Some file systems leave the type to a lookup of the entry itself.
        struct stat info;
        if (::fstatat(::dirfd(dir), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return file_type::unknown;
        if (S_ISREG(info.st_mode)) return file_type::regular;
        if (S_ISDIR(info.st_mode)) return file_type::directory;
        if (S_ISLNK(info.st_mode)) return file_type::symlink;
        return file_type::unknown;
    }
    switch (type) {
        case DT_REG:
            return file_type::regular;
        case DT_DIR:
            return file_type::directory;
        case DT_LNK:
            return file_type::symlink;
        default:
            return file_type::unknown;
    }
}

}  // namespace

bool ListFolder(const std::filesystem::path& folder,
                const std::function<void(std::string_view, std::filesystem::file_type)>& take,
                std::error_code& error) {
    error.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        error.assign(errno, std::generic_category());
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) error.assign(errno, std::generic_category());
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        take(name, TypeOf(dir, *entry));
    }
    ::closedir(dir);
    return !error;
}

}  // namespace platform

}  // namespace veskar
