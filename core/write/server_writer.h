// SPDX-License-Identifier: Apache-2.0
// Writing a Macintosh file in the layouts of Mac file servers on Linux, beside the NTFS one.
#pragma once

#include <string_view>

#include "core/write/output_writer.h"

namespace veskar {

enum class ServerLayout {
    // What Samba's Mac support reads by default, and netatalk: the data fork as the file, the
    // resource fork and the Finder information in the "._" file beside it, the Finder
    // information also in netatalk's metadata attribute.
    Fruit,
    // The data file and its "._" file only, for volumes without attributes (FAT, exFAT).
    AppleDouble,
    // Samba's streams kept in attributes: AFP_AfpInfo and AFP_Resource, each followed by the
    // zero byte Samba keeps after a stream.
    StreamsXattr,
};

// Names are the Macintosh names as a Mac client sees them (core/write/server_name.h), unique
// in any letter case together with the "._" file beside them; the Finder information is made
// fit for another machine. As with the NTFS output, nothing is overwritten, and a failure or
// an interrupt leaves nothing of the output behind.
class ServerWriter final : public OutputWriter {
  public:
    explicit ServerWriter(ServerLayout layout) : layout_(layout) {}
    TargetNeeds Needs() const override;
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport* report) const override;

  private:
    ServerLayout layout_;
};

}  // namespace veskar
