// SPDX-License-Identifier: Apache-2.0
#include "core/write/macbinary_writer.h"

#include <algorithm>

#include "core/common/copy_fork.h"
#include "core/common/crc16.h"
#include "core/common/mac_time.h"
#include "core/finder_info.h"
#include "core/read/macbinary.h"
#include "core/write/server_output.h"
#include "core/write/wrapping.h"

namespace veskar {

namespace {

using namespace macbinary;

constexpr std::string_view kExtension = ".bin";
constexpr std::uint8_t kVersionIII = 130;
constexpr std::size_t kMaxComment = 0xFFFF;

void Put16(MacBinaryHeader& header, std::size_t at, std::uint16_t value) {
    header[at] = static_cast<std::uint8_t>(value >> 8);
    header[at + 1] = static_cast<std::uint8_t>(value);
}

void Put32(MacBinaryHeader& header, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        header[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

MacBinaryHeader HeaderOf(const MacFileDescription& file, const std::string& macName,
                         std::uint32_t dataLength, std::uint32_t resourceLength,
                         std::uint16_t commentLength) {
    const FinderInformation info = FinderInfoForAnotherMachine(file.finderInfo);
    MacBinaryHeader header{};
    header[kNameLengthAt] = static_cast<std::uint8_t>(macName.size());
    std::copy(macName.begin(), macName.end(), header.begin() + kNameAt);
    std::copy_n(info.begin(), 8, header.begin() + kTypeCreatorAt);
    header[kFinderFlagsAt] = info[8];
    header[kFinderFlagsLowAt] = info[9];
    std::copy_n(info.begin() + 10, 6, header.begin() + kLocationAt);
    // The Finder's lock is MacBinary's "protected" bit.
    if (file.macAttributes.value_or(0) & mac_attributes::kLocked) header[81] = 1;
    Put32(header, kDataLengthAt, dataLength);
    Put32(header, kResourceLengthAt, resourceLength);
    Put32(header, kCreatedAt, mac_time::To1904(file.dates.created));
    Put32(header, kModifiedAt, mac_time::To1904(file.dates.modified));
    Put16(header, kCommentLengthAt, commentLength);
    std::copy(kSignatureIII.begin(), kSignatureIII.end(), header.begin() + kSignatureAt);
    header[kScriptAt] = info[finder::kScriptAt];
    header[kExtendedFlagsAt] = info[finder::kExtendedFlagsAt];
    header[kVersionAt] = kVersionIII;
    header[kMinVersionAt] = kVersionII;
    Put16(header, kHeaderCrcAt, Crc16({header.data(), kHeaderCrcAt}));
    return header;
}

}  // namespace

ImportResult MacBinaryWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                   bool intoEmptyFolder, ImportReport& report) const {
    WrappedMacName(file, sourcePath, kMaxNameLength, report.warnings);
    NoteNotWrapped(file, "MacBinary", file.comment.size() > kMaxComment, report.warnings);
    return PlanServerOutput(file, sourcePath, Companion::None, intoEmptyFolder, report,
                            StoredNames::MacClient, kExtension);
}

ImportResult MacBinaryWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                    ImportReport& report) const {
    const std::string macName = WrappedMacName(file, sourcePath, kMaxNameLength, report.warnings);
    NoteNotWrapped(file, "MacBinary", file.comment.size() > kMaxComment, report.warnings);
    ServerOutput out(file, sourcePath, Companion::None, report, StoredNames::MacClient, kExtension);
    return out.WriteWhole([&](platform::RawFile raw, std::uint64_t& data, std::uint64_t& resource,
                              std::string& detail) {
        const auto dataLength = static_cast<std::uint32_t>(BytesAvailable(file.data));
        const auto resourceLength = static_cast<std::uint32_t>(BytesAvailable(file.resource));
        // A comment longer than the header can state is left out (and warned of).
        const std::string_view comment =
            file.comment.size() > kMaxComment ? std::string_view{} : std::string_view(file.comment);
        const MacBinaryHeader header = HeaderOf(file, macName, dataLength, resourceLength,
                                                static_cast<std::uint16_t>(comment.size()));
        const auto cannotWrite = [&detail] {
            detail = SystemReason("cannot write the output");
            return ImportResult::WriteFailed;
        };
        if (!platform::RawWriteAllAt(raw, 0, header.data(), header.size())) return cannotWrite();
        std::uint64_t at = kMacBinaryHeaderSize;
        if (const ImportResult result =
                CopyWrappedFork(file.data, raw, at, dataLength, "the data fork", data, detail);
            result != ImportResult::Converted)
            return result;
        at += data;
        if (!PadTo128(raw, at)) return cannotWrite();
        at = (at + 127) / 128 * 128;
        if (const ImportResult result = CopyWrappedFork(file.resource, raw, at, resourceLength,
                                                        "the resource fork", resource, detail);
            result != ImportResult::Converted)
            return result;
        at += resource;
        if (!PadTo128(raw, at)) return cannotWrite();
        at = (at + 127) / 128 * 128;
        if (!comment.empty() &&
            (!platform::RawWriteAllAt(raw, at, comment.data(), comment.size()) ||
             !PadTo128(raw, at + comment.size())))
            return cannotWrite();
        return ImportResult::Converted;
    });
}

ImportResult MacBinaryWriter::WriteFolder(const MacFileDescription& folder,
                                          const std::string& nativeName,
                                          ImportReport& report) const {
    return WrappedFolder(folder, nativeName, "MacBinary", report);
}

}  // namespace veskar
