// SPDX-License-Identifier: Apache-2.0
// Windows keeps no extended attributes of the kind Samba and netatalk use on Linux.
#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace veskar {

namespace platform {

AttributeSupport QueryUserAttributes(const std::string&) {
    return {false, "Windows keeps no user extended attributes"};
}

bool SetUserAttribute(const std::string&, std::string_view, const void*, std::size_t) {
    errno = ENOTSUP;
    return false;
}

std::optional<UserAttributes> UserAttributesOf(RawFile) {
    return UserAttributes{};
}

bool SetUserAttribute(RawFile, std::string_view, const void*, std::size_t) {
    errno = ENOTSUP;
    return false;
}

}  // namespace platform

}  // namespace veskar
