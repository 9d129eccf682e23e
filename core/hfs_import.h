// SPDX-License-Identifier: Apache-2.0
// The files and folders of an HFS volume image as sources: each catalog entry described
// (name, Finder information, dates, both forks read by their extents) and written as any
// import writes.
#pragma once

#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/hfs/hfs_volume.h"
#include "core/import_report.h"
#include "core/import_request.h"

namespace veskar {

// Converts the file `file` of `volume` into the target folder; `shownPath` names it in
// messages (the image's path and the folders down to it).
ImportResult ImportHfsFile(const hfs::Volume& volume, const hfs::Entry& file,
                           std::string_view targetFolder, std::string_view shownPath,
                           const ImportRequest& request, ImportReport& report);

// Writes the information of the volume's folder `folder` onto the folder `folderName` in the
// target folder, which the caller made for it.
ImportResult ImportHfsFolder(const hfs::Volume& volume, const hfs::Entry& folder,
                             std::string_view targetFolder, const std::string& folderName,
                             const ImportRequest& request, ImportReport& report);

}  // namespace veskar
