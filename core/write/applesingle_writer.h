// SPDX-License-Identifier: Apache-2.0
// AppleSingle version 2: the whole Mac file in one file, as A/UX and macOS's tools write it:
// the name, the dates, the Finder information, the comment, the Macintosh attributes, the
// data fork and the resource fork, each an entry of its own; named NAME.as.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class AppleSingleWriter final : public OutputWriter {
  public:
    TargetNeeds Needs() const override { return TargetNeeds::Nothing; }
    ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                      bool intoEmptyFolder, ImportReport& report) const override;
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport& report) const override;
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                             ImportReport& report) const override;
};

}  // namespace veskar
