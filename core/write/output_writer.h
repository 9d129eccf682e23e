// SPDX-License-Identifier: Apache-2.0
// Writing a Macintosh file description into the current folder, in one of the layouts that
// Mac file servers read. The imports read; a writer decides names, files and attributes.
#pragma once

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
class OutputWriter {
  public:
    virtual ~OutputWriter() = default;
    virtual TargetNeeds Needs() const = 0;
    // `sourcePath` names the source, for an output that takes its name. A trial run
    // (report->dryRun) creates nothing and reports what would be written.
    virtual ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                               ImportReport* report) const = 0;
};

// The writer an import uses: the caller's choice in the report, or the import's own.
inline const OutputWriter& WriterFor(const ImportReport* report, const OutputWriter& own) {
    return report && report->writer ? *report->writer : own;
}

}  // namespace veskar
