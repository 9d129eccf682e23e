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

bool IsAppleSingleStart(std::span<const std::uint8_t> head) {
    return StartsWithMagic(head, kAppleSingleMagic);
}

MacFileReading ReadAppleSingle(ByteSource& source) {
    MacFileReading reading;
    const HeaderRead header = ReadHeaderBlock(source);
    if (!header.readFailure.empty()) {
        reading.refusal = Refusal{ImportResult::ReadFailed, header.readFailure};
        return reading;
    }
    if (header.bytesRead < kMagicSize || !IsAppleSingleHeader(header.block)) {
        reading.refusal = Refusal{ImportResult::WrongKind, "no AppleSingle magic number"};
        return reading;
    }
    MacFileDescription& file = reading.file;
    EntryDescriptor dataEntry, resourceEntry;
    EntryTrouble trouble;
    for (const EntryDescriptor& entry : ReadEntryTable(source, header, trouble)) {
        switch (entry.id) {
            case kDataForkId:
                dataEntry = entry;
                break;
            case kResourceForkId:
                resourceEntry = entry;
                break;
            case kRealNameId:
                file.name = ReadEntryName(source, entry, trouble);
                break;
            case kFinderInfoId:
                ReadFinderInfo(source, entry, file.finderInfo, trouble);
                break;
            default:
                break;
        }
    }
    file.data = PlaceFork(source, dataEntry.offset, dataEntry.length);
    file.resource = PlaceFork(source, resourceEntry.offset, resourceEntry.length);
    file.shortfall = std::move(trouble.shortfall);
    if (!trouble.readFailure.empty())
        reading.flaw = Refusal{ImportResult::ReadFailed, std::move(trouble.readFailure)};
    return reading;
}

}  // namespace veskar
