// SPDX-License-Identifier: Apache-2.0
// The imports of the server layouts as sources: a file or folder as Windows' Services for
// Macintosh, Samba, netatalk or macOS keeps it, gathered from the volume (the data file, its
// times, its named streams or user attributes, its AppleDouble header file) and read by the
// layout's reader (core/read/stored_file.h) into a description, then written as any import.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/import_request.h"
#include "core/mac_file.h"
#include "core/stored_layout.h"
#include "platform/platform.h"

namespace veskar {

// Converts the file at `sourcePath`, kept in `layout`, into the target folder.
ImportResult ImportStored(StoredLayout layout, std::string_view targetFolder,
                          std::string_view sourcePath, const ImportRequest& request,
                          ImportReport& report);

// Writes the own information of the folder at `sourceFolder`, kept in `layout`, onto the folder
// `folderName` in the target folder, which the caller made for it.
ImportResult ImportStoredFolder(StoredLayout layout, std::string_view targetFolder,
                                const std::string& folderName, const std::string& sourceFolder,
                                const ImportRequest& request, ImportReport& report);

// Reads the file at `path`, kept in `layout`, and hands `use` its description while the files
// it points into are open, with the identities of the data file and of its AppleDouble header
// (when the layout keeps one); the refusal when it cannot be read.
struct StoredIdentities {
    std::optional<platform::FileIdentity> data, header;
};
std::optional<Refusal> ReadStored(
    StoredLayout layout, const std::string& path,
    const std::function<void(const MacFileReading& reading, const StoredIdentities& files)>& use);

// Where a layout keeps a file's AppleDouble header ("._NAME" beside it, or netatalk 2's
// ".AppleDouble/NAME", ".AppleDouble/.Parent" inside a folder); empty for the layouts that keep
// none.
std::string StoredHeaderPath(StoredLayout layout, const std::string& path, bool folder);

// The names a layout keeps beside the files, which are never sources of their own: netatalk 2's
// ".AppleDouble" folders.
bool IsLayoutFolder(std::string_view name);

}  // namespace veskar
