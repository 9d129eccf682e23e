// SPDX-License-Identifier: Apache-2.0
#include "core/write/binhex_writer.h"

#include <vector>

#include "core/common/copy_fork.h"
#include "core/common/crc16.h"
#include "core/finder_info.h"
#include "core/write/binhex_encoder.h"
#include "core/write/server_output.h"
#include "core/write/wrapping.h"

namespace veskar {

namespace {

constexpr std::string_view kExtension = ".hqx";
constexpr std::size_t kMaxName = 63;

void Append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The stream's header: the name, version 0, type, creator, Finder flags, the forks' lengths,
// and its CRC-16.
std::vector<std::uint8_t> HeaderOf(const MacFileDescription& file, const std::string& macName,
                                   std::uint32_t dataLength, std::uint32_t resourceLength) {
    const FinderInformation info = FinderInfoForAnotherMachine(file.finderInfo);
    std::vector<std::uint8_t> header;
    header.push_back(static_cast<std::uint8_t>(macName.size()));
    header.insert(header.end(), macName.begin(), macName.end());
    header.push_back(0);
    header.insert(header.end(), info.begin(), info.begin() + 10);  // type, creator, flags
    Append32(header, dataLength);
    Append32(header, resourceLength);
    Append16(header, Crc16(header));
    return header;
}

}  // namespace

ImportResult BinHexTextWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                    bool intoEmptyFolder, ImportReport& report) const {
    WrappedMacName(file, sourcePath, kMaxName, report.warnings);
    NoteNotWrapped(file, "BinHex", true, report.warnings);
    return PlanServerOutput(file, sourcePath, Companion::None, intoEmptyFolder, report,
                            StoredNames::MacClient, kExtension);
}

ImportResult BinHexTextWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                     ImportReport& report) const {
    const std::string macName = WrappedMacName(file, sourcePath, kMaxName, report.warnings);
    NoteNotWrapped(file, "BinHex", true, report.warnings);
    ServerOutput out(file, sourcePath, Companion::None, report, StoredNames::MacClient, kExtension);
    return out.WriteWhole([&](platform::RawFile raw, std::uint64_t& data, std::uint64_t& resource,
                              std::string& detail) {
        const auto dataLength = static_cast<std::uint32_t>(BytesAvailable(file.data));
        const auto resourceLength = static_cast<std::uint32_t>(BytesAvailable(file.resource));
        std::uint64_t written = 0;
        BinHexEncoder encoder([&](std::string_view text) {
            if (!platform::RawWriteAllAt(raw, written, text.data(), text.size())) return false;
            written += text.size();
            return true;
        });
        const auto failed = [&](std::string why) {
            detail = std::move(why);
            return ImportResult::WriteFailed;
        };
        if (!encoder.Put(HeaderOf(file, macName, dataLength, resourceLength)))
            return failed(SystemReason("cannot write the output"));
        // Each fork, then its CRC-16, computed as it goes by.
        const auto fork = [&](const ForkPlace& place, std::uint32_t length, std::uint64_t& read,
                              std::string_view what) {
            ForkPlace whole = place;
            whole.chunk = kLargeCopySize;
            whole.length = length;
            std::uint16_t crc = 0;
            const CopyStatus status = ForEachForkPiece(
                whole,
                [&](std::span<const std::uint8_t> piece) {
                    crc = Crc16(piece, crc);
                    return encoder.Put(piece);
                },
                read);
            if (status != CopyStatus::Done) {
                detail = CopyFailure(status, what, "the output");
                return ResultOf(status);
            }
            if (read != length) {
                detail = std::string(what) + " ended before its " + std::to_string(length) +
                         " bytes: nothing was written, as the wrapping states the lengths first";
                return ImportResult::Truncated;
            }
            const std::uint8_t check[2] = {static_cast<std::uint8_t>(crc >> 8),
                                           static_cast<std::uint8_t>(crc)};
            return encoder.Put(check) ? ImportResult::Converted
                                      : failed(SystemReason("cannot write the output"));
        };
        if (const ImportResult result = fork(file.data, dataLength, data, "the data fork");
            result != ImportResult::Converted)
            return result;
        if (const ImportResult result =
                fork(file.resource, resourceLength, resource, "the resource fork");
            result != ImportResult::Converted)
            return result;
        return encoder.Finish() ? ImportResult::Converted
                                : failed(SystemReason("cannot write the output"));
    });
}

ImportResult BinHexTextWriter::WriteFolder(const MacFileDescription& folder,
                                           const std::string& nativeName,
                                           ImportReport& report) const {
    return WrappedFolder(folder, nativeName, "BinHex", report);
}

}  // namespace veskar
