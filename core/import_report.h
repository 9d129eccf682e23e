// SPDX-License-Identifier: Apache-2.0
// What an import reports to its caller beyond its result: the name it wrote, the forks' sizes,
// the type and creator, and why it failed. Writers fill it; nothing in it goes down to them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/common/import_result.h"
#include "core/mac_file.h"

namespace veskar {

struct ImportReport {
    // In the target folder: 8-bit Windows form, or the native form when `nativeName` is set.
    std::string outputName;
    bool nativeName = false;
    std::uint64_t dataBytes = 0;
    std::uint64_t resourceBytes = 0;
    TypeCreator typeCreator{};
    std::uint16_t finderFlags = 0;  // as written
    std::string detail;             // empty on success
    // What was left out of the output, each naming what and why (an extended attribute the
    // target cannot hold, ...), in UTF-8; the output is written all the same.
    std::vector<std::string> warnings;
    // What the source carries besides its forks, as the reader found it.
    MacDates dates;
    std::size_t commentBytes = 0;
    std::vector<std::string> attributeNames;
    std::uint64_t attributeBytes = 0;  // the attributes' values together
    bool folder = false;
};

// Puts what the description carries besides its forks into the report.
void NoteDescription(ImportReport& report, const MacFileDescription& file);

// Puts the type, creator and flags of what is written into the report.
void NoteFinderInfo(ImportReport& report, const FinderInformation& info);

// The result of an import whose source lacks `shortfall` (empty when it lacks nothing): an
// output written, or described by a trial run, becomes Truncated with the shortfall added to
// its detail; any other result stays as it is.
ImportResult WithShortfall(ImportResult result, const std::string& shortfall, ImportReport* report);

}  // namespace veskar
