// SPDX-License-Identifier: Apache-2.0
// User extended attributes, through the Linux calls.
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

std::string UserName(std::string_view name) {
    return "user." + std::string(name);
}

}  // namespace

AttributeSupport QueryUserAttributes(const std::string& folder) {
    AttributeSupport support;
    // An interrupt waits until the probe is gone again: it is in no table of files to remove.
    const InterruptsHeld held;
    const std::optional<std::string> probe = CreateTempFile(folder, ".veskar-probe-");
    if (!probe) {
        support.reason = std::string("no file can be created there: ") + std::strerror(errno);
        return support;
    }
    constexpr char kValue = 1;
    support.takes = SetUserAttribute(*probe, "veskar.probe", &kValue, 1);
    if (!support.takes)
        support.reason = errno == ENOTSUP ? "its file system keeps no user extended attributes"
                                          : std::string("an extended attribute cannot be set: ") +
                                                std::strerror(errno);
    RemoveFile(*probe);
    return support;
}

bool SetUserAttribute(const std::string& path, std::string_view name, const void* bytes,
                      std::size_t count) {
    return ::setxattr(path.c_str(), UserName(name).c_str(), bytes, count, XATTR_CREATE) == 0;
}

std::optional<UserAttributes> UserAttributesOf(RawFile file) {
    std::vector<char> names(4096);
    for (;;) {
        const ssize_t size = ::flistxattr(file.handle, names.data(), names.size());
        if (size >= 0) {
            names.resize(static_cast<std::size_t>(size));
            break;
        }
        if (errno == ENOTSUP) return UserAttributes{};
        if (errno != ERANGE || names.size() > (1u << 20)) return std::nullopt;
        names.resize(names.size() * 4);
    }
    UserAttributes attributes;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (!name.starts_with("user.")) continue;
        std::vector<std::uint8_t> value(4096);
        for (;;) {
            const ssize_t size = ::fgetxattr(file.handle, name.c_str(), value.data(), value.size());
            if (size >= 0) {
                value.resize(static_cast<std::size_t>(size));
                break;
            }
            if (errno != ERANGE || value.size() > (1u << 20)) return std::nullopt;
            value.resize(value.size() * 4);
        }
        attributes.emplace_back(name.substr(5), std::move(value));
    }
    return attributes;
}

bool SetUserAttribute(RawFile file, std::string_view name, const void* bytes, std::size_t count) {
    return ::fsetxattr(file.handle, UserName(name).c_str(), bytes, count, XATTR_CREATE) == 0;
}

}  // namespace platform

}  // namespace veskar
