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
// The other conventions: A/UX's and old netatalk's prefix, and the suffix The Unarchiver
// writes beside each file it extracts with its forks visible.
constexpr std::string_view kPercentPrefix = "%";
constexpr std::string_view kRsrcSuffix = ".rsrc";
constexpr std::uint64_t kMaxForkLength = std::numeric_limits<std::uint32_t>::max();

std::string WithPrefix(std::string_view path, std::string_view prefix) {
    const std::size_t start = platform::FileNameStart(path);
    std::string named(path.substr(0, start));
    named += prefix;
    named += path.substr(start);
    return named;
}

}  // namespace

bool IsAppleDoubleCompanion(std::string_view path) {
    return path.substr(platform::FileNameStart(path)).starts_with(kCompanionPrefix);
}

bool IsAppleDoubleStart(std::span<const std::uint8_t> head, const ReadOptions& options) {
    return StartsWithMagic(head, kAppleDoubleMagic, options.everyVariant);
}

std::string AppleDoubleCompanionPath(std::string_view dataFilePath) {
    return WithPrefix(dataFilePath, kCompanionPrefix);
}

std::vector<std::string> AppleDoubleCompanionPaths(std::string_view dataFilePath,
                                                   const ReadOptions& options) {
    std::vector<std::string> paths{AppleDoubleCompanionPath(dataFilePath)};
    if (options.everyVariant) {
        paths.push_back(WithPrefix(dataFilePath, kPercentPrefix));
        paths.push_back(std::string(dataFilePath) + std::string(kRsrcSuffix));
    }
    return paths;
}

std::optional<std::string> DataFileOfCompanion(std::string_view path, const ReadOptions& options) {
    const std::size_t start = platform::FileNameStart(path);
    const std::string_view name = path.substr(start);
    const std::string folder(path.substr(0, start));
    if (name.starts_with(kCompanionPrefix) && name.size() > kCompanionPrefix.size())
        return folder + std::string(name.substr(kCompanionPrefix.size()));
    if (!options.everyVariant) return std::nullopt;
    if (name.starts_with(kPercentPrefix) && name.size() > kPercentPrefix.size())
        return folder + std::string(name.substr(kPercentPrefix.size()));
    if (name.ends_with(kRsrcSuffix) && name.size() > kRsrcSuffix.size())
        return folder + std::string(name.substr(0, name.size() - kRsrcSuffix.size()));
    return std::nullopt;
}

namespace {

// The companion's header and every entry the description holds: refused when the companion
// has no AppleDouble header or it cannot be read.
MacFileReading ReadCompanion(ByteSource& companion, std::string_view companionPath,
                             const ReadOptions& options, ForkEntries& forks) {
    MacFileReading reading;
    const HeaderRead header = ReadHeaderBlock(companion);
    if (!header.readFailure.empty()) {
        reading.refusal = Refusal{ImportResult::ReadFailed, "its companion: " + header.readFailure};
        return reading;
    }
    if (!IsAppleDoubleHeader(header, options.everyVariant)) {
        reading.refusal =
            Refusal{ImportResult::WrongKind,
                    "its companion " + std::string(companionPath) + " has no AppleDouble header"};
        return reading;
    }
    // The type and creator, the Finder information's first 8 bytes, are read whatever length
    // the entry states: companions written by macOS make it far longer (an extended-attribute
    // block follows the 32 bytes), so its length says nothing about them.
    EntryTrouble trouble;
    forks =
        ReadFileEntries(companion, header, ReadEntryTable(companion, header, trouble), reading.file,
                        trouble, {.finderInfoAtLeast = 8, .utf8Names = options.everyVariant});
    if (!trouble.readFailure.empty()) {
        reading.flaw = Refusal{ImportResult::ReadFailed, "its companion: " + trouble.readFailure};
        return reading;
    }
    if (!trouble.shortfall.empty()) reading.file.shortfall = "its companion: " + trouble.shortfall;
    return reading;
}

}  // namespace

MacFileReading ReadAppleDouble(ByteSource& dataFile, ByteSource& companion,
                               std::string_view companionPath, const ReadOptions& options) {
    ForkEntries forks;
    MacFileReading reading = ReadCompanion(companion, companionPath, options, forks);
    if (reading.refusal || reading.flaw) return reading;
    MacFileDescription& file = reading.file;
    // The data fork is the data file, whole: a data-fork entry of another tool (one of length
    // 0 beside a disk image, say) never cuts it. Only a data file shorter than such an entry
    // states is short of something. A data file whose size cannot be told (a pipe) is copied
    // to its end.
    const std::optional<std::uint64_t> dataFileSize = dataFile.Size();
    const std::uint64_t dataLength = dataFileSize.value_or(kMaxForkLength);
    // A fork is copied with a 32-bit count; cutting a longer file there would lose its tail
    // without a word.
    if (dataLength > kMaxForkLength) {
        reading.flaw = Refusal{ImportResult::WriteFailed,
                               "the data file is 4 GiB or longer, more than a data fork can hold"};
        return reading;
    }
    file.data = PlaceFork(dataFile, 0, dataLength);
    if (forks.dataSeen && forks.data.length > dataLength) file.data.stated = forks.data.length;
    // Without a size, the data file states no length to fall short of.
    if (!dataFileSize) file.data.stated = 0;
    file.resource = PlaceFork(companion, forks.resource.offset, forks.resource.length);
    return reading;
}

MacFileReading ReadAppleDoubleFolder(ByteSource& companion, std::string_view companionPath,
                                     const ReadOptions& options) {
    ForkEntries forks;
    MacFileReading reading = ReadCompanion(companion, companionPath, options, forks);
    reading.file.folder = true;
    return reading;
}

}  // namespace veskar
