// SPDX-License-Identifier: Apache-2.0
// The extended attributes in which Samba and netatalk keep what a Mac client sees of a file or
// folder, set on one that is open or held (never through its name).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/import_report.h"
#include "core/mac_file.h"
#include "platform/platform.h"

namespace veskar {

// The attribute of Samba's AFP_AfpInfo stream, in Linux's user namespace.
constexpr const char* kAfpInfoAttribute = "DosStream.AFP_AfpInfo:$DATA";

// Sets on `target`: netatalk's metadata (the Finder information `info`, dates and comment) when
// `netatalk`; the creation time as Samba keeps it, with the DOS attributes `dosAttributes`,
// when the file has one; each extended attribute as the stream of its name
// (user.DosStream.NAME:$DATA, with the zero byte Samba keeps after a stream). An attribute
// whose name no stream can have is left out, and a warning in `report` names it. Empty, or
// why an attribute could not be set.
std::string SetSambaAttributes(platform::RawFile target, const MacFileDescription& file,
                               const FinderInformation& info, bool netatalk,
                               std::uint32_t dosAttributes, ImportReport& report);

// Sets Samba's AFP_AfpInfo stream attribute of `target` to the record of `info`, unless `info`
// is all zero (Samba removes such a record). Empty, or why it could not be set.
std::string SetAfpInfoAttribute(platform::RawFile target, const FinderInformation& info,
                                std::optional<std::int64_t> backedUp);

}  // namespace veskar
