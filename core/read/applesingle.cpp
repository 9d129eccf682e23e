// SPDX-License-Identifier: Apache-2.0
#include "core/read/applesingle.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "core/common/c_stream.h"
#include "core/read/entry_table.h"
#include "platform/platform.h"

namespace veskar {

using namespace entry_table;

bool IsAppleSingleStart(std::span<const std::uint8_t> head, const ReadOptions& options) {
    return StartsWithMagic(head, kAppleSingleMagic, options.everyVariant);
}

MacFileReading ReadAppleSingle(ByteSource& source, const ReadOptions& options) {
    MacFileReading reading;
    const HeaderRead header = ReadHeaderBlock(source);
    if (!header.readFailure.empty()) {
        reading.refusal = Refusal{ImportResult::ReadFailed, header.readFailure};
        return reading;
    }
    if (!IsAppleSingleHeader(header, options.everyVariant)) {
        reading.refusal = Refusal{ImportResult::WrongKind, "no AppleSingle magic number"};
        return reading;
    }
    MacFileDescription& file = reading.file;
    EntryTrouble trouble;
    const ForkEntries forks =
        ReadFileEntries(source, header, ReadEntryTable(source, header, trouble), file, trouble,
                        {.finderInfoAtLeast = 0, .utf8Names = options.everyVariant});
    file.data = PlaceFork(source, forks.data.offset, forks.data.length);
    file.resource = PlaceFork(source, forks.resource.offset, forks.resource.length);
    file.shortfall = std::move(trouble.shortfall);
    if (!trouble.readFailure.empty())
        reading.flaw = Refusal{ImportResult::ReadFailed, std::move(trouble.readFailure)};
    return reading;
}

}  // namespace veskar
