// SPDX-License-Identifier: Apache-2.0
// Writing a Macintosh file description into the current folder, in one of the layouts that
// Mac file servers read. The readers describe; a writer decides names, files and attributes.
#pragma once

#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/mac_file.h"

namespace veskar {

// What a target folder's volume must take for a writer's outputs.
enum class TargetNeeds {
    NamedStreams,    // "name:stream" opens a named stream (NTFS)
    UserAttributes,  // extended attributes in the user namespace
    Nothing,         // plain files
};

// Writes one described file into the current folder (the target folder an import entered).
// `sourcePath` names the source, for an output that takes its name.
class OutputWriter {
  public:
    virtual ~OutputWriter() = default;
    virtual TargetNeeds Needs() const = 0;
    // What Write would make, found without creating anything: the output's name (unique in
    // the current folder, unless it is to be a new and empty one), the Finder information as
    // it would be written, and any refusal that is known before writing (a fork the layout
    // cannot store). Converted, or the failure Write would meet first.
    virtual ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                              bool intoEmptyFolder, ImportReport& report) const = 0;
    virtual ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                               ImportReport& report) const = 0;
    // Writes a folder's own information (a description with `folder` set) onto the folder
    // `nativeName` in the current folder, one that this run made and holds, where the layout
    // keeps a folder's (core/write/folder_output.h). Converted, or the failure.
    virtual ImportResult WriteFolder(const MacFileDescription& folder,
                                     const std::string& nativeName, ImportReport& report) const = 0;
};

}  // namespace veskar
