// SPDX-License-Identifier: Apache-2.0
#include "cli/image_walk.h"

#include <algorithm>

#include "core/common/charsets.h"
#include "platform/platform.h"

namespace veskar {

namespace cli {

namespace {

// Deeper than any Finder could show; a damaged catalog cannot take a walk further.
constexpr std::size_t kMaxDepth = 256;

}  // namespace

std::string ImageName(const hfs::Entry& entry) {
    std::string name = entry.name;
    std::replace(name.begin(), name.end(), '/', ':');
    return platform::Utf8ToNative(charsets::MacRomanToUtf8(name));
}

ImageWalk::ImageWalk(const hfs::Volume& volume, std::string given)
    : volume_(volume), given_(std::move(given)) {
    levels_.push_back({"", volume_.List(hfs::kRootFolder), 0});
    seen_.insert(hfs::kRootFolder);
}

std::optional<ImageJob> ImageWalk::Next() {
    while (!levels_.empty()) {
        Level& level = levels_.back();
        if (level.next == level.entries.size()) {
            levels_.pop_back();
            continue;
        }
        ImageJob job;
        job.entry = level.entries[level.next++];
        job.folder = level.folder;
        job.given = given_ + "/" + job.folder + ImageName(job.entry);
        if (job.entry.folder && levels_.size() < kMaxDepth && seen_.insert(job.entry.id).second)
            levels_.push_back(
                {job.folder + ImageName(job.entry) + "/", volume_.List(job.entry.id), 0});
        return job;
    }
    return std::nullopt;
}

}  // namespace cli

}  // namespace veskar
