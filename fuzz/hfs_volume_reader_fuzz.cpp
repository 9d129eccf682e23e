// SPDX-License-Identifier: Apache-2.0
// The HFS volume reader on any bytes as the start of an image: opened, every folder listed,
// every fork read whole. A damaged volume must be refused or read within its bounds, never
// looped on.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/hfs/hfs_volume.h"

using namespace veskar;

namespace {

// An image shorter than the smallest volume is padded with zeros to it, so that the input
// need only hold what a reader looks at: the master directory block, the bitmap, the trees.
constexpr std::uint64_t kImageBytes = 400 * 1024;
constexpr std::size_t kMaxEntries = 4096;
constexpr std::uint32_t kMaxForkRead = 1 << 20;

const std::string& ImagePath() {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder ? folder : "/tmp") + "/hfs-fuzz-" + std::to_string(getpid()) +
               ".img";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* image = std::fopen(ImagePath().c_str(), "wb");
    if (!image) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, image) != size) std::abort();
    std::fclose(image);
    if (truncate(ImagePath().c_str(), size > kImageBytes ? size : kImageBytes) != 0) std::abort();

    std::string why;
    const std::unique_ptr<hfs::Volume> volume = hfs::Volume::Open(ImagePath(), false, why);
    if (!volume) {
        if (why.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    std::vector<hfs::CatalogId> folders{hfs::kRootFolder};
    std::vector<std::uint8_t> bytes;
    std::size_t entries = 0;
    while (!folders.empty() && entries < kMaxEntries) {
        const hfs::CatalogId folder = folders.back();
        folders.pop_back();
        for (const hfs::Entry& entry : volume->List(folder)) {
            if (++entries > kMaxEntries) break;
            if (entry.name.empty() || entry.name.size() > hfs::kMaxNameBytes) std::abort();
            if (entry.parent != folder) std::abort();
            if (entry.folder) {
                folders.push_back(entry.id);
                continue;
            }
            for (const bool resource : {false, true}) {
                const std::uint32_t length = resource ? entry.resourceLength : entry.dataLength;
                bytes.resize(length < kMaxForkRead ? length : kMaxForkRead);
                volume->ReadFork(entry, resource, 0, bytes, why);
            }
            volume->Find(folder, entry.name);
        }
    }
    return 0;
}
