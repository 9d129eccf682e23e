// SPDX-License-Identifier: Apache-2.0
// An output checked once it is in place: read back through the reader of the layout it was
// written in, and compared with the description of its source (the name, both forks by
// content, the Finder information as written, the dates, comment and extended attributes the
// layout keeps). One that differs is removed, the very files written, found by identity.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/mac_file.h"
#include "core/stored_layout.h"

namespace veskar {

// `report` is the writer's, for the output just placed in the current folder, which is
// `targetFolder`. Converted, or VerifyFailed with the report saying what differed (and what
// could not be removed).
ImportResult VerifyOutput(StoredLayout layout, std::string_view targetFolder,
                          const MacFileDescription& source, ImportReport& report);

// Whether the output `source` would be written as (its name as in an empty folder, in the
// writer's `planned` report) is in the current folder `targetFolder` already: with `layout`,
// only when it reads back as `source`.
bool OutputThere(const std::optional<StoredLayout>& layout, std::string_view targetFolder,
                 const MacFileDescription& source, const ImportReport& planned);

// What differs between the source's description and the one read back from its output, in
// the layout's terms: empty when nothing does. `leftOut` are the writer's warnings, which name
// the attributes it could not keep.
std::string Differences(StoredLayout layout, const MacFileDescription& source,
                        const MacFileDescription& back, const std::vector<std::string>& leftOut);

}  // namespace veskar
