// SPDX-License-Identifier: Apache-2.0
// The layout Samba's Mac support reads by default, and netatalk 3 and 4: the data fork as the
// file, the resource fork and the Finder information in the "._" file beside it, the Finder
// information also in netatalk's metadata attribute.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class FruitWriter final : public OutputWriter {
  public:
    TargetNeeds Needs() const override { return TargetNeeds::UserAttributes; }
    ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                      bool intoEmptyFolder, ImportReport& report) const override;
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport& report) const override;
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                             ImportReport& report) const override;
};

}  // namespace veskar
