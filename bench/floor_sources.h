// SPDX-License-Identifier: Apache-2.0
// What the batch floors share: the bench's MacBinary sources read whole, in name order, before
// any clock starts, and one create, one write and one close of a file.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/finder_info.h"

namespace veskar {

// One MacBinary source held whole: its forks lie at `dataAt` and `resourceAt`.
struct FloorSource {
    std::string name;
    std::vector<char> bytes;
    std::size_t dataLength = 0;
    std::size_t resourceAt = 0;
    std::size_t resourceLength = 0;
    FinderInformation typeCreator{};  // the type and creator, the rest zero

    static constexpr std::size_t dataAt = 128;
    const char* Data() const { return bytes.data() + dataAt; }
    const char* Resource() const { return bytes.data() + resourceAt; }
};

// Reads every regular file of `folder` in name order; false, naming the file on standard
// error, at the first that is no MacBinary file the bench made.
inline bool ReadFloorSources(const char* program, const std::string& folder,
                             std::vector<FloorSource>& sources) {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    sources.assign(paths.size(), {});
    const auto big32 = [](const std::vector<char>& bytes, std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
        return value;
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        FloorSource& out = sources[i];
        std::ifstream in(paths[i], std::ios::binary);
        out.bytes.assign(std::istreambuf_iterator<char>(in), {});
        const std::vector<char>& b = out.bytes;
        bool fits = b.size() >= FloorSource::dataAt && b[1] >= 1 && b[1] <= 63;
        if (fits) {
            out.name.assign(&b[2], static_cast<std::size_t>(b[1]));
            out.dataLength = big32(b, 83);
            out.resourceLength = big32(b, 87);
            out.resourceAt = FloorSource::dataAt + (out.dataLength + 127) / 128 * 128;
            fits = out.resourceAt + out.resourceLength <= b.size();
            std::copy(&b[65], &b[73], out.typeCreator.begin());
        }
        if (!fits) {
            std::fprintf(stderr, "%s: %s is no MacBinary file\n", program, paths[i].c_str());
            return false;
        }
    }
    return true;
}

// One open (with `flags` beside write-only and create), one write, one close.
inline bool WriteFloorFile(const std::string& path, int flags, const void* bytes,
                           std::size_t count) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    if (fd < 0) return false;
    const bool written = ::write(fd, bytes, count) == static_cast<ssize_t>(count);
    return ::close(fd) == 0 && written;
}

}  // namespace veskar
