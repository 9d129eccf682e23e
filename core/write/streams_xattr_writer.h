// SPDX-License-Identifier: Apache-2.0
// Samba's streams kept in attributes (vfs_streams_xattr): AFP_AfpInfo and AFP_Resource, each
// followed by the zero byte Samba keeps after a stream.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

class StreamsXattrWriter final : public OutputWriter {
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
