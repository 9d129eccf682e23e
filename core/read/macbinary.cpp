// SPDX-License-Identifier: Apache-2.0
#include "core/read/macbinary.h"

#include <algorithm>

#include "core/common/byte_order.h"
#include "core/common/c_stream.h"
#include "core/common/crc16.h"
#include "core/common/mac_time.h"
#include "core/common/shortfall.h"
#include "core/finder_info.h"
#include "platform/platform.h"

namespace veskar {

using namespace macbinary;

namespace {

// A length rounded up to the 128-byte blocks MacBinary keeps each part in.
std::uint64_t Padded(std::uint64_t length) {
    return (length + kForkAlignment - 1) / kForkAlignment * kForkAlignment;
}

// Lengths of 2^31 or more would pass the size test only through a wrapped signed sum; no
// such fork fits a MacBinary file, so they are refused.
constexpr std::uint32_t kMaxForkLength = 0x7FFFFFFF;

// Reads the header from the start of the source; a source shorter than the header is tested
// as if the missing bytes were zero. False when a read failed (errno tells why).
bool ReadHeader(ByteSource& source, MacBinaryHeader& header) {
    const auto got = source.ReadAt(0, header);
    if (!got) return false;
    std::fill(header.begin() + static_cast<std::ptrdiff_t>(*got), header.end(), 0);
    return true;
}

}  // namespace

bool IsMacBinaryHeader(const MacBinaryHeader& header, std::int64_t sourceLength) {
    const std::size_t nameLength = header[kNameLengthAt];
    const auto name = header.begin() + kNameAt;
    const auto typeCreator = header.begin() + kTypeCreatorAt;
    const std::uint32_t dataLength = BigEndian32(&header[kDataLengthAt]);
    const std::uint32_t resourceLength = BigEndian32(&header[kResourceLengthAt]);

    const bool versionZero = header[kOldVersionAt] == 0;
    const bool nameLengthFits = nameLength >= 1 && nameLength <= kMaxNameLength;
    // The name is zero-terminated exactly at its stated length (for 63 characters the
    // terminator is the first byte of the type).
    const bool nameTerminated = nameLengthFits &&
                                std::find(name, name + nameLength, 0) == name + nameLength &&
                                header[kNameAt + nameLength] == 0;
    const auto zeros = std::count(typeCreator, typeCreator + 8, 0);
    const bool typeCreatorWhole = zeros == 0 || zeros == 8;
    const bool zeroFill = header[kZeroFillAt] == 0;
    const bool hasFork = dataLength != 0 || resourceLength != 0;
    const bool lengthsSane = dataLength <= kMaxForkLength && resourceLength <= kMaxForkLength;
    // The forks together, after any secondary header padded as it is kept (the header and the
    // forks' padding not counted), fit in the file: a secondary header is as much a claim on
    // the bytes as a fork.
    const std::int64_t secondaryLength =
        header[kVersionAt] >= kVersionII
            ? static_cast<std::int64_t>(Padded(BigEndian16(&header[kSecondaryHeaderAt])))
            : 0;
    const bool fitsSource =
        sourceLength <= 0 ||
        secondaryLength + static_cast<std::int64_t>(dataLength) + resourceLength <= sourceLength;
    return versionZero && nameLengthFits && nameTerminated && typeCreatorWhole && zeroFill &&
           hasFork && lengthsSane && fitsSource;
}

HeaderCrc CheckMacBinaryHeaderCrc(const MacBinaryHeader& header) {
    if (header[kVersionAt] < kVersionII || header[kMinVersionAt] < kVersionII)
        return HeaderCrc::NotCarried;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(header[kHeaderCrcAt] << 8 | header[kHeaderCrcAt + 1]);
    return Crc16({header.data(), kHeaderCrcAt}) == stored ? HeaderCrc::Matches : HeaderCrc::Wrong;
}

MacFileDescription MacBinaryFileOf(const MacBinaryHeader& header, std::FILE* stream,
                                   std::span<const std::uint8_t> held) {
    MacFileDescription file;
    file.name.assign(reinterpret_cast<const char*>(&header[kNameAt]), header[kNameLengthAt]);
    // The Finder info as MacBinary keeps it: type, creator, the flags' high byte (the low one
    // only from MacBinary II on), the icon's location and its folder.
    FinderInformation& info = file.finderInfo;
    std::copy_n(header.begin() + kTypeCreatorAt, 8, info.begin());
    info[8] = header[kFinderFlagsAt];
    if (header[kVersionAt] >= kVersionII) info[9] = header[kFinderFlagsLowAt];
    std::copy_n(header.begin() + kLocationAt, 6, info.begin() + 10);
    // MacBinary III adds the extended Finder information's script and flags.
    if (std::equal(kSignatureIII.begin(), kSignatureIII.end(), header.begin() + kSignatureAt)) {
        info[finder::kScriptAt] = header[kScriptAt];
        info[finder::kExtendedFlagsAt] = header[kExtendedFlagsAt];
    }

    file.dates.created = mac_time::From1904(BigEndian32(&header[kCreatedAt]));
    file.dates.modified = mac_time::From1904(BigEndian32(&header[kModifiedAt]));

    const std::uint32_t dataLength = BigEndian32(&header[kDataLengthAt]);
    const std::uint32_t resourceLength = BigEndian32(&header[kResourceLengthAt]);
    const std::uint64_t dataAt = MacBinaryDataOffset(header);
    file.data = ForkPlace{stream, dataAt, dataLength, dataLength, held};
    file.resource = ForkPlace{
        stream,
        resourceLength != 0 ? dataAt - kMacBinaryHeaderSize + MacBinaryResourceOffset(dataLength)
                            : 0,
        resourceLength, resourceLength, held};
    return file;
}

MacFileReading ReadMacBinary(ByteSource& source, MacBinaryHeader* headerRead) {
    MacFileReading reading;
    const std::int64_t length = static_cast<std::int64_t>(source.Size().value_or(0));
    MacBinaryHeader local{};
    MacBinaryHeader& header = headerRead ? *headerRead : local;
    if (!ReadHeader(source, header)) {
        reading.refusal = Refusal{ImportResult::ReadFailed, ReadFailure("the header")};
        return reading;
    }
    if (!IsMacBinaryHeader(header, length)) {
        reading.refusal = Refusal{ImportResult::WrongKind, {}};
        return reading;
    }
    reading.file = MacBinaryFileOf(header, source.Stream(), source.Held());
    // MacBinary II and III keep the "Get Info" comment after the resource fork, each part
    // padded to 128 bytes.
    const std::uint16_t commentLength = BigEndian16(&header[kCommentLengthAt]);
    if (header[kVersionAt] >= kVersionII && commentLength != 0) {
        const std::uint32_t resourceLength = BigEndian32(&header[kResourceLengthAt]);
        const std::uint64_t at =
            resourceLength != 0
                ? reading.file.resource.offset + Padded(resourceLength)
                : reading.file.data.offset + Padded(BigEndian32(&header[kDataLengthAt]));
        std::string comment(commentLength, '\0');
        const auto got = source.ReadAt(
            at, std::span(reinterpret_cast<std::uint8_t*>(comment.data()), comment.size()));
        if (!got) {
            reading.flaw = Refusal{ImportResult::ReadFailed, ReadFailure("the comment")};
            return reading;
        }
        NoteShortfall(reading.file.shortfall, "the comment", commentLength, *got);
        comment.resize(*got);
        reading.file.comment = std::move(comment);
    }
    if (CheckMacBinaryHeaderCrc(header) == HeaderCrc::Wrong)
        reading.checkFailure =
            Refusal{ImportResult::CheckFailed, "the check value of the MacBinary header is wrong"};
    return reading;
}

std::uint64_t MacBinaryResourceOffset(std::uint32_t dataLength) {
    return kMacBinaryHeaderSize + Padded(dataLength);
}

std::uint64_t MacBinaryDataOffset(const MacBinaryHeader& header) {
    if (header[kVersionAt] < kVersionII) return kMacBinaryHeaderSize;
    return kMacBinaryHeaderSize + Padded(BigEndian16(&header[kSecondaryHeaderAt]));
}

}  // namespace veskar
