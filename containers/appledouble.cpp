#include "containers/appledouble.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "containers/entry_table.h"
#include "containers/shortfall.h"
#include "containers/target_folder.h"
#include "platform/platform.h"

using namespace entry_table;

namespace {

constexpr std::string_view kCompanionPrefix = "._";
constexpr std::uint64_t kMaxForkLength = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::string AppleDoubleCompanionPath(std::string_view dataFilePath) {
    const std::size_t start = platform::FileNameStart(dataFilePath);
    std::string path(dataFilePath.substr(0, start));
    path += kCompanionPrefix;
    path += dataFilePath.substr(start);
    return path;
}

ImportResult ImportAppleDouble(std::string_view targetFolder, std::string_view dataFilePath,
                               ImportReport* report) {
    return ImportAppleDoublePair(targetFolder, dataFilePath, AppleDoubleCompanionPath(dataFilePath),
                                 report);
}

ImportResult ImportAppleDoublePair(std::string_view targetFolder, std::string_view dataFilePath,
                                   const std::string& companionPath, ImportReport* report) {
    auto refuse = [report](ImportResult result, std::string detail) {
        if (report) report->detail = std::move(detail);
        return result;
    };
    auto fail = [&refuse](std::string detail) {
        return refuse(ImportResult::WriteFailed, std::move(detail));
    };
    if (companionPath.size() > platform::kMaxPathChars)
        return refuse(ImportResult::CannotOpen, "the path of its companion is too long");

    const TargetFolder target = EnterTargetFolder(targetFolder);
    // Declared first so that it is closed last, after the data file.
    OpenSource companionFile;
    OpenSource dataFile(platform::OpenStream(std::string(dataFilePath), "rb"));
    if (!dataFile.get()) return refuse(ImportResult::CannotOpen, std::strerror(errno));
    companionFile.Reset(platform::OpenStream(companionPath, "rb"));
    if (!companionFile.get()) {
        return refuse(ImportResult::CannotOpen,
                      "its companion " + companionPath + ": " + std::strerror(errno));
    }
    std::FILE* const data = dataFile.get();
    std::FILE* const companion = companionFile.get();

    const HeaderRead header = ReadHeaderBlock(companion);
    if (!header.readFailure.empty())
        return refuse(ImportResult::ReadFailed, "its companion: " + header.readFailure);
    if (header.bytesRead < kMagicSize || !IsAppleDoubleHeader(header.block)) {
        return refuse(ImportResult::WrongKind,
                      "its companion " + companionPath + " has no AppleDouble header");
    }
    if (!target.usable) return fail(target.detail);

    // The data fork is always the data file from its start; an entry 1 can only say how much
    // of it belongs to the fork. A file whose size cannot be told (a pipe) is copied to its
    // end. Descriptors take effect in file order, a later one of an id overriding an earlier.
    const std::optional<std::uint64_t> dataFileSize = platform::StreamSize(data);
    std::uint64_t dataLength = dataFileSize.value_or(kMaxForkLength);
    bool dataEntrySeen = false;
    EntryDescriptor resourceEntry;
    std::string macName;
    TypeCreator typeCreator{};
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
                macName = ReadEntryName(companion, entry, trouble);
                break;
            case kFinderInfoId:
                // The type and creator are the first 8 bytes of the Finder info. Companions
                // written by macOS make that entry far longer (an extended-attribute block
                // follows the 32 bytes), so its length says nothing about them.
                ReadEntry(companion, entry, "the Finder info entry", typeCreator.data(),
                          typeCreator.size(), trouble);
                break;
            default:
                break;
        }
    }
    if (!trouble.readFailure.empty())
        return refuse(ImportResult::ReadFailed, "its companion: " + trouble.readFailure);
    // A fork is copied with a 32-bit count; cutting a longer file there would lose its tail
    // without a word.
    if (dataLength > kMaxForkLength)
        return fail("the data file is 4 GiB or longer, more than a data fork can hold");

    ForkPlace dataFork = PlaceFork(data, 0, dataLength);
    // Without an entry 1 the data file's own size is the fork's: one that cannot be told
    // states no length to fall short of.
    if (!dataEntrySeen && !dataFileSize) dataFork.stated = 0;
    std::string name = OutputNameFor(macName, dataFilePath);
    return WithShortfall(
        WriteSfmOutput(name, dataFork,
                       PlaceFork(companion, resourceEntry.offset, resourceEntry.length),
                       typeCreator, report),
        trouble.shortfall.empty() ? "" : "its companion: " + trouble.shortfall, report);
}
