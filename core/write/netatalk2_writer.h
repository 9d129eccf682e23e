// SPDX-License-Identifier: Apache-2.0
// netatalk 2's layout, for a volume that an old netatalk still serves (or to move one back to
// it): the data fork as the file, everything else in the AppleDouble header
// ".AppleDouble/NAME" beside it; a folder's own in its ".AppleDouble/.Parent". Names keep
// netatalk's ":xx" escapes. No attributes are needed on the target.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class Netatalk2Writer final : public OutputWriter {
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
