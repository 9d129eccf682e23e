// SPDX-License-Identifier: Apache-2.0
// MacBinary III: the whole Mac file in one file, to send or to take to a vintage Mac. The
// header (name, type, creator, both bytes of the Finder flags and the extended ones, the
// icon's place, the dates, the comment's length, "mBIN", the versions and the header's
// CRC-16), then the data fork, the resource fork and the comment, each padded to 128 bytes;
// named NAME.bin.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class MacBinaryWriter final : public OutputWriter {
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
