#include "containers/applesingle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "containers/entry_table.h"
#include "containers/shortfall.h"
#include "containers/target_folder.h"
#include "platform/platform.h"

using namespace entry_table;

ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               ImportReport* report) {
    const TargetFolder target = EnterTargetFolder(targetFolder);
    auto refuse = [report](ImportResult result, std::string detail) {
        if (report) report->detail = std::move(detail);
        return result;
    };
    OpenSource source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source.get()) return refuse(ImportResult::CannotOpen, std::strerror(errno));

    const HeaderRead header = ReadHeaderBlock(source.get());
    if (!header.readFailure.empty()) return refuse(ImportResult::ReadFailed, header.readFailure);
    if (header.bytesRead < kMagicSize || !IsAppleSingleHeader(header.block))
        return refuse(ImportResult::WrongKind, "no AppleSingle magic number");
    if (!target.usable) return refuse(ImportResult::WriteFailed, target.detail);

    // The descriptors take effect in file order, so a later one of an id overrides what an
    // earlier one left. A missing fork entry is an empty fork; without Finder info the type
    // and creator are zero.
    EntryDescriptor dataEntry, resourceEntry;
    std::string macName;
    std::array<std::uint8_t, kFinderInfoSize> finderInfo{};
    EntryTrouble trouble;
    for (const EntryDescriptor& entry : ReadEntryTable(source.get(), header, trouble)) {
        switch (entry.id) {
            case kDataForkId:
                dataEntry = entry;
                break;
            case kResourceForkId:
                resourceEntry = entry;
                break;
            case kRealNameId:
                macName = ReadEntryName(source.get(), entry, trouble);
                break;
            case kFinderInfoId: {
                // Only the leading type and creator are carried; a short entry overwrites
                // as many leading bytes as it has.
                const auto wanted = static_cast<std::size_t>(
                    std::min<std::uint64_t>(entry.length, finderInfo.size()));
                ReadEntry(source.get(), entry, "the Finder info entry", finderInfo.data(), wanted,
                          trouble);
                break;
            }
            default:
                break;
        }
    }
    TypeCreator typeCreator;
    std::copy_n(finderInfo.begin(), typeCreator.size(), typeCreator.begin());

    const ForkPlace data = PlaceFork(source.get(), dataEntry.offset, dataEntry.length);
    const ForkPlace resource = PlaceFork(source.get(), resourceEntry.offset, resourceEntry.length);

    if (!trouble.readFailure.empty()) return refuse(ImportResult::ReadFailed, trouble.readFailure);

    std::string name = OutputNameFor(macName, sourcePath);
    return WithShortfall(WriteSfmOutput(name, data, resource, typeCreator, report),
                         trouble.shortfall, report);
}
