// SPDX-License-Identifier: Apache-2.0
#include "core/write/applesingle_writer.h"

#include <vector>

#include "core/common/copy_fork.h"
#include "core/common/mac_time.h"
#include "core/finder_info.h"
#include "core/write/server_output.h"
#include "core/write/wrapping.h"

namespace veskar {

namespace {

constexpr std::string_view kExtension = ".as";
constexpr std::uint32_t kMagic = 0x00051600, kVersion2 = 0x00020000;
constexpr std::uint32_t kDataFork = 1, kResourceFork = 2, kRealName = 3, kComment = 4,
                        kFileDates = 8, kFinderInfo = 9, kMacFileInfo = 10;
constexpr std::size_t kTableAt = 26, kDescriptorSize = 12;
constexpr std::size_t kMaxName = 255;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

struct Entry {
    std::uint32_t id;
    std::vector<std::uint8_t> bytes;  // empty for the forks, which follow the header
    std::uint64_t length = 0;
};

// The header, the descriptors and the small entries' bytes; the resource fork, then the data
// fork, follow at the offsets the descriptors give.
std::vector<std::uint8_t> HeaderOf(const std::vector<Entry>& entries) {
    std::size_t at = kTableAt + entries.size() * kDescriptorSize;
    std::vector<std::uint8_t> header(at, 0);
    Put32(header, 0, kMagic);
    Put32(header, 4, kVersion2);
    header[24] = static_cast<std::uint8_t>(entries.size() >> 8);
    header[25] = static_cast<std::uint8_t>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const std::size_t descriptor = kTableAt + i * kDescriptorSize;
        const std::uint64_t length = entry.bytes.empty() ? entry.length : entry.bytes.size();
        Put32(header, descriptor, entry.id);
        Put32(header, descriptor + 4, static_cast<std::uint32_t>(at));
        Put32(header, descriptor + 8, static_cast<std::uint32_t>(length));
        if (!entry.bytes.empty())
            header.insert(header.end(), entry.bytes.begin(), entry.bytes.end());
        at += length;
    }
    return header;
}

std::vector<Entry> EntriesOf(const MacFileDescription& file, const std::string& macName,
                             std::uint64_t resourceLength, std::uint64_t dataLength) {
    std::vector<Entry> entries;
    entries.push_back({kRealName, {macName.begin(), macName.end()}});
    std::vector<std::uint8_t> dates(16, 0);
    Put32(dates, 0, mac_time::To2000(file.dates.created));
    Put32(dates, 4, mac_time::To2000(file.dates.modified));
    Put32(dates, 8, mac_time::To2000(file.dates.backedUp));
    Put32(dates, 12, mac_time::To2000(std::nullopt));
    entries.push_back({kFileDates, dates});
    const FinderInformation info = FinderInfoForAnotherMachine(file.finderInfo);
    entries.push_back({kFinderInfo, {info.begin(), info.end()}});
    if (!file.comment.empty())
        entries.push_back({kComment, {file.comment.begin(), file.comment.end()}});
    if (file.macAttributes) {
        std::vector<std::uint8_t> attributes(4, 0);
        Put32(attributes, 0, *file.macAttributes);
        entries.push_back({kMacFileInfo, attributes});
    }
    // The data fork before the resource fork, the order in which a source decoded as it is
    // read (a BinHex text) gives them.
    entries.push_back({kDataFork, {}, dataLength});
    if (resourceLength != 0) entries.push_back({kResourceFork, {}, resourceLength});
    return entries;
}

}  // namespace

ImportResult AppleSingleWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                     bool intoEmptyFolder, ImportReport& report) const {
    WrappedMacName(file, sourcePath, kMaxName, report.warnings);
    NoteNotWrapped(file, "AppleSingle", false, report.warnings);
    return PlanServerOutput(file, sourcePath, Companion::None, intoEmptyFolder, report,
                            StoredNames::MacClient, kExtension);
}

ImportResult AppleSingleWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                      ImportReport& report) const {
    const std::string macName = WrappedMacName(file, sourcePath, kMaxName, report.warnings);
    NoteNotWrapped(file, "AppleSingle", false, report.warnings);
    ServerOutput out(file, sourcePath, Companion::None, report, StoredNames::MacClient, kExtension);
    return out.WriteWhole([&](platform::RawFile raw, std::uint64_t& data, std::uint64_t& resource,
                              std::string& detail) {
        const std::uint64_t resourceLength = BytesAvailable(file.resource);
        const std::uint64_t dataLength = BytesAvailable(file.data);
        const std::vector<std::uint8_t> header =
            HeaderOf(EntriesOf(file, macName, resourceLength, dataLength));
        if (!platform::RawWriteAllAt(raw, 0, header.data(), header.size())) {
            detail = SystemReason("cannot write the AppleSingle header");
            return ImportResult::WriteFailed;
        }
        if (const ImportResult result = CopyWrappedFork(file.data, raw, header.size(), dataLength,
                                                        "the data fork", data, detail);
            result != ImportResult::Converted)
            return result;
        return CopyWrappedFork(file.resource, raw, header.size() + dataLength, resourceLength,
                               "the resource fork", resource, detail);
    });
}

ImportResult AppleSingleWriter::WriteFolder(const MacFileDescription& folder,
                                            const std::string& nativeName,
                                            ImportReport& report) const {
    return WrappedFolder(folder, nativeName, "AppleSingle", report);
}

}  // namespace veskar
