// SPDX-License-Identifier: Apache-2.0
// The data file and its "._" file only, for volumes without attributes (FAT, exFAT): what
// macOS reads on any volume it mounts.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class AppleDoubleWriter final : public OutputWriter {
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
