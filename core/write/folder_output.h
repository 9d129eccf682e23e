// SPDX-License-Identifier: Apache-2.0
// A folder's own information (its Finder information, dates, comment and extended
// attributes) written where each layout keeps a folder's, onto a folder that the run made and
// holds, named `nativeName` in the current folder. Its dates are set when the run ends, after
// everything that lands in it (which moves its modification time on).
#pragma once

#include <string>

#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/mac_file.h"

namespace veskar {

// How a server layout keeps a folder's information: netatalk's metadata and Samba's attributes
// on the folder and a "._" file beside it (fruit); a "._" file alone, holding the attributes
// (appledouble); Samba's stream attributes alone (streams-xattr); netatalk 2's header in the
// folder's own ".AppleDouble/.Parent" (netatalk2).
enum class ServerFolder { Fruit, AppleDouble, StreamsXattr, Netatalk2 };

// NTFS: the folder's AFP_AfpInfo stream, a named stream for each extended attribute, and its
// creation and modification times.
ImportResult WriteSfmFolder(const MacFileDescription& folder, const std::string& nativeName,
                            ImportReport& report);

ImportResult WriteServerFolder(const MacFileDescription& folder, const std::string& nativeName,
                               ServerFolder layout, ImportReport& report);

}  // namespace veskar
