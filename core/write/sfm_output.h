// SPDX-License-Identifier: Apache-2.0
// Writing one Macintosh file as an NTFS file with the streams that Services for Macintosh
// serves: the data fork in the unnamed stream, the resource fork in "AFP_Resource" and the
// 60-byte information record in "AFP_AfpInfo".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/copy_fork.h"
#include "core/import_report.h"
#include "core/mac_file.h"
#include "core/write/afp_info.h"

namespace veskar {

// A name buffer holds at most this many 8-bit characters, and a name with its longest stream
// suffix must still fit in it.
constexpr std::size_t kNameBufferChars = 255;
constexpr std::size_t kLongestSuffix = 1 + 12;  // ":AFP_Resource"
constexpr std::size_t kMaxOutputNameChars = kNameBufferChars - kLongestSuffix;

// Writes the Macintosh file named `name` into the current folder, in this order: a free
// name, the data file (always, even empty), the AFP_Resource stream (only for a non-empty
// resource fork), the AFP_AfpInfo stream. `name` is made safe and unique in place.
// On any failure the files this call created are removed and WriteFailed (or ReadFailed, for
// a read of a fork that failed) is returned. Truncated when a fork delivered less than its
// stated length: the output holds what there was, and the detail says what is missing.
ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const TypeCreator& typeCreator, ImportReport* report = nullptr);
// What the command line's NTFS output writes beyond the window's: the dates, as the data
// file's modification and creation times, and each extended attribute as the named stream of
// its name, as macOS's SMB client stores them on a Windows share.
struct SfmExtras {
    MacDates dates;  // the backup date in the record too
    const std::vector<ExtendedAttribute>* attributes = nullptr;
    // A file without Mac information stays a plain file: no AFP_AfpInfo record.
    bool plain = false;
    // `name` is native, as a Mac client stores names on NTFS (the private range for what NTFS
    // refuses), instead of 8-bit Windows text made safe.
    bool macClientNames = false;
    // A taken 8-bit name gets the command line's number ("Name.001", counted for the name)
    // instead of the window's code; Mac client names always do.
    bool readableCodes = false;
};

// The same with the record's Finder information given whole, and the extras.
ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const FinderInformation& finderInfo, ImportReport* report = nullptr,
                            const SfmExtras& extras = {});

// What WriteSfmOutput would name the output, found without creating anything: `name` made
// safe and, unless the folder is to be new and empty, unique in the current folder; the type
// and creator reported.
ImportResult PlanSfmOutput(std::string& name, const FinderInformation& finderInfo,
                           bool intoEmptyFolder, ImportReport& report, bool macClientNames = false,
                           bool readableCodes = false);

}  // namespace veskar
