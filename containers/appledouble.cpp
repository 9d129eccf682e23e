#include "containers/appledouble.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "containers/entry_table.h"
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
    if (header.bytesRead < kMagicSize || !IsAppleDoubleHeader(header.block)) {
        return refuse(ImportResult::WrongKind,
                      "its companion " + companionPath + " has no AppleDouble header");
    }
    if (!target.usable) return fail(target.detail);

    // The data fork is always the data file from its start; an entry 1 can only say how much
    // of it belongs to the fork. A file whose size cannot be told (a pipe) is copied to its
    // end. Descriptors take effect in file order, a later one of an id overriding an earlier.
    std::uint64_t dataLength = platform::StreamSize(data).value_or(kMaxForkLength);
    EntryDescriptor resourceEntry;
    std::string macName;
    TypeCreator typeCreator{};
    for (const EntryDescriptor& entry : ReadEntryTable(companion, header)) {
        switch (entry.id) {
            case kDataForkId:
                dataLength = entry.length;
                break;
            case kResourceForkId:
                resourceEntry = entry;
                break;
            case kRealNameId:
                macName = ReadEntryName(companion, entry);
                break;
            case kFinderInfoId:
                // The type and creator are the first 8 bytes of the Finder info. Companions
                // written by macOS make that entry far longer (an extended-attribute block
                // follows the 32 bytes), so its length says nothing about them.
                ReadAt(companion, entry.offset, typeCreator.data(), typeCreator.size());
                break;
            default:
                break;
        }
    }
    // A fork is copied with a 32-bit count; cutting a longer file there would lose its tail
    // without a word.
    if (dataLength > kMaxForkLength)
        return fail("the data file is 4 GiB or longer, more than a data fork can hold");

    std::string name = OutputNameFor(macName, dataFilePath);
    return WriteSfmOutput(name, PlaceFork(data, 0, dataLength),
                          PlaceFork(companion, resourceEntry.offset, resourceEntry.length),
                          typeCreator, report);
}
