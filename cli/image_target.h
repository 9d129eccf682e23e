// SPDX-License-Identifier: Apache-2.0
// The HFS volume image a run writes into (--layout hfs): opened, or made when it is missing,
// and put on the disk when the run ends.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/options.h"
#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace cli {

constexpr std::uint64_t kDefaultImageBytes = 20 * 1024 * 1024;

struct ImageTarget {
    std::unique_ptr<hfs::Volume> volume;
    std::string folder;    // the folder that holds the image: the imports' target folder
    std::string scratch;   // a trial run's stand-in for an image it would make, removed at the end
    int scratchSlot = -1;  // the stand-in as registered for removal on an interrupt
    bool made = false;     // this run made the image
    bool trial = false;    // opened for a trial run: read only
};

// Opens the image at `target` (absolute), or makes it when it is missing: of options.imageSize
// bytes (20M when 0), named options.volumeName or after the image's file name. A trial run
// makes its stand-in in the temporary folder. Nullopt, with the problem, when it cannot be used.
std::optional<ImageTarget> OpenImageTarget(const Options& options, const std::string& target,
                                           std::string& problem);

// Puts what the run wrote on the disk and closes the image; the problem when it could not.
std::string CloseImageTarget(ImageTarget& image);

// Whether the file starts as an HFS volume image does (a master directory block at 1024, or an
// Apple partition map), for a hint to a user who named one without -f hfs.
bool LooksLikeHfsImage(const std::string& path);

// The volume name a new image takes after its file name: without its extension, in Mac Roman,
// at most 27 bytes.
std::string VolumeNameOf(const std::string& imagePath);

}  // namespace cli

}  // namespace veskar
