// SPDX-License-Identifier: Apache-2.0
#include "core/read/appledouble.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "core/common/c_stream.h"
#include "core/read/entry_table.h"
#include "platform/platform.h"

namespace veskar {

using namespace entry_table;

namespace {

constexpr std::string_view kCompanionPrefix = "._";
constexpr std::uint64_t kMaxForkLength = std::numeric_limits<std::uint32_t>::max();

}  // namespace

bool IsAppleDoubleCompanion(std::string_view path) {
    return path.substr(platform::FileNameStart(path)).starts_with(kCompanionPrefix);
}

bool IsAppleDoubleStart(std::span<const std::uint8_t> head) {
    return StartsWithMagic(head, kAppleDoubleMagic);
}

std::string AppleDoubleCompanionPath(std::string_view dataFilePath) {
    const std::size_t start = platform::FileNameStart(dataFilePath);
    std::string path(dataFilePath.substr(0, start));
    path += kCompanionPrefix;
    path += dataFilePath.substr(start);
    return path;
}

MacFileReading ReadAppleDouble(ByteSource& dataFile, ByteSource& companion,
                               std::string_view companionPath) {
    MacFileReading reading;
    const HeaderRead header = ReadHeaderBlock(companion);
    if (!header.readFailure.empty()) {
        reading.refusal = Refusal{ImportResult::ReadFailed, "its companion: " + header.readFailure};
        return reading;
    }
    if (header.bytesRead < kMagicSize || !IsAppleDoubleHeader(header.block)) {
        reading.refusal =
            Refusal{ImportResult::WrongKind,
                    "its companion " + std::string(companionPath) + " has no AppleDouble header"};
        return reading;
    }

    // A data file whose size cannot be told (a pipe) is copied to its end. Descriptors take
    // effect in file order, a later one of an id overriding an earlier.
    MacFileDescription& file = reading.file;
    const std::optional<std::uint64_t> dataFileSize = dataFile.Size();
    std::uint64_t dataLength = dataFileSize.value_or(kMaxForkLength);
    bool dataEntrySeen = false;
    EntryDescriptor resourceEntry;
    EntryTrouble trouble;
    for (const EntryDescriptor& entry : ReadEntryTable(companion, header, trouble)) {
        switch (entry.id) {
            case kDataForkId:
                dataLength = entry.length;
                dataEntrySeen = true;
                break;
            case kResourceForkId:
                resourceEntry = entry;
                break;
            case kRealNameId:
                file.name = ReadEntryName(companion, entry, trouble);
                break;
            case kFinderInfoId:
                // The type and creator, its first 8 bytes, are read whatever length the entry
                // states: companions written by macOS make it far longer (an extended-attribute
                // block follows the 32 bytes), so its length says nothing about them.
                ReadFinderInfo(companion, entry, file.finderInfo, trouble, 8);
                break;
            default:
                break;
        }
    }
    if (!trouble.readFailure.empty()) {
        reading.flaw = Refusal{ImportResult::ReadFailed, "its companion: " + trouble.readFailure};
        return reading;
    }
    // A fork is copied with a 32-bit count; cutting a longer file there would lose its tail
    // without a word.
    if (dataLength > kMaxForkLength) {
        reading.flaw = Refusal{ImportResult::WriteFailed,
                               "the data file is 4 GiB or longer, more than a data fork can hold"};
        return reading;
    }
    file.data = PlaceFork(dataFile, 0, dataLength);
    // Without an entry 1 the data file's own size is the fork's: one that cannot be told
    // states no length to fall short of.
    if (!dataEntrySeen && !dataFileSize) file.data.stated = 0;
    file.resource = PlaceFork(companion, resourceEntry.offset, resourceEntry.length);
    if (!trouble.shortfall.empty()) file.shortfall = "its companion: " + trouble.shortfall;
    return reading;
}

}  // namespace veskar
