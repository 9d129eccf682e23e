// SPDX-License-Identifier: Apache-2.0
#include "core/read/applesingle.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "core/common/c_stream.h"
#include "core/read/entry_table.h"
#include "core/write/sfm_writer.h"
#include "core/write/target_folder.h"
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

ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               ImportReport* report) {
    const SfmWriter own(SfmNaming::Translated);
    const OutputWriter& writer = WriterFor(report, own);
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    auto refuse = [report](ImportResult result, std::string detail) {
        if (report) report->detail = std::move(detail);
        return result;
    };
    const CStream source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source.get()) return refuse(ImportResult::CannotOpen, std::strerror(errno));

    FileSource bytes(source.get());
    MacFileReading reading = ReadAppleSingle(bytes);
    if (reading.refusal) return refuse(reading.refusal->result, reading.refusal->detail);
    if (!target.usable) return refuse(ImportResult::WriteFailed, target.detail);
    if (reading.flaw) return refuse(reading.flaw->result, reading.flaw->detail);
    return writer.Write(reading.file, sourcePath, report);
}

}  // namespace veskar
