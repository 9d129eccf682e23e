// SPDX-License-Identifier: Apache-2.0
// Writing a description into a folder of an HFS volume image: both forks, the Finder
// information and the dates into the volume's catalog, as the Mac's own file system keeps a
// file. The command line opens the image and says which of its folders the next outputs go
// into; the current folder plays no part.
#pragma once

#include <string>

#include "core/hfs/hfs_volume.h"
#include "core/write/output_writer.h"

namespace veskar {

class HfsWriter final : public OutputWriter {
  public:
    // The volume and the folder of it that the next outputs go into; none: every write fails.
    void Into(hfs::Volume* volume, hfs::CatalogId folder) {
        volume_ = volume;
        folder_ = folder;
    }
    TargetNeeds Needs() const override { return TargetNeeds::Nothing; }
    ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                      bool intoEmptyFolder, ImportReport& report) const override;
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport& report) const override;
    // `nativeName` is a folder's name as Plan reported it, in the folder of Into.
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                             ImportReport& report) const override;

  private:
    // The output's name in Mac Roman, unique in the folder; empty, with the report's detail
    // set, when every number for it is taken.
    std::string NameFor(const MacFileDescription& file, std::string_view sourcePath,
                        bool intoEmptyFolder, ImportReport& report) const;

    hfs::Volume* volume_ = nullptr;
    hfs::CatalogId folder_ = hfs::kRootFolder;
};

// The one the layouts' table names; the command line points it at its image.
HfsWriter& TheHfsWriter();

// A name as an HFS folder takes it: Mac Roman (characters it lacks as '?'), ':', the path
// separator of the Mac, as '-', at most 31 bytes.
std::string HfsNameOf(std::string_view utf8);

// The dates an entry gets: the description's, the modification date (else now) standing in for
// a creation date the source lacks.
hfs::Dates HfsDatesOf(const MacDates& dates);

}  // namespace veskar
