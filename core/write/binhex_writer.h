// SPDX-License-Identifier: Apache-2.0
// BinHex 4.0: the whole Mac file as 7-bit text, for mail and the archives of old: the name,
// type, creator and Finder flags, the data fork and the resource fork, each with its CRC-16;
// named NAME.hqx. BinHex keeps no dates, comment or attributes.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class BinHexTextWriter final : public OutputWriter {
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
