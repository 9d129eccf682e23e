// SPDX-License-Identifier: Apache-2.0
// The entries of an HFS volume image as the sources of a run (-r -f hfs): every folder before
// what it holds, each folder's entries in the catalog's order.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace cli {

struct ImageJob {
    hfs::Entry entry;
    // The folder it is in, below the volume's root: native names, '/'-separated, ending in
    // '/'; empty at the root. A '/' in a Mac name stands as ':' here, as macOS shows it.
    std::string folder;
    std::string given;  // how lines name it: the image as given, then the path in it
};

class ImageWalk {
  public:
    ImageWalk(const hfs::Volume& volume, std::string given);
    // The next entry; nullopt after the last.
    std::optional<ImageJob> Next();

  private:
    struct Level {
        std::string folder;
        std::vector<hfs::Entry> entries;
        std::size_t next = 0;
    };
    const hfs::Volume& volume_;
    std::string given_;
    std::vector<Level> levels_;
    std::set<hfs::CatalogId> seen_;  // a folder met twice is not walked again
};

// An entry's name as a path below the image shows it: Mac Roman decoded, '/' as ':'.
std::string ImageName(const hfs::Entry& entry);

}  // namespace cli

}  // namespace veskar
