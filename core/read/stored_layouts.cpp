// SPDX-License-Identifier: Apache-2.0
// The readers of the server layouts: each takes what its import gathered of one stored file or
// folder (core/read/stored_file.h) into a description. What the file system keeps is the
// truth where a server serves it from there: the modification time always, the creation time
// where NTFS or Samba's record keeps one.
#include <algorithm>
#include <limits>

#include "core/read/appledouble.h"
#include "core/read/entry_table.h"
#include "core/read/stored_file.h"
#include "core/read/stored_records.h"

namespace veskar {

namespace {

constexpr std::uint64_t kMaxForkLength = std::numeric_limits<std::uint32_t>::max();
constexpr std::string_view kAfpInfoStream = "AFP_AfpInfo";

MacFileReading Refused(ImportResult result, std::string detail) {
    MacFileReading reading;
    reading.refusal = Refusal{result, std::move(detail)};
    return reading;
}

// The file with no Mac information of its own yet: its data fork is the data file, whole.
MacFileReading Plain(const StoredFile& stored) {
    MacFileReading reading;
    reading.file.folder = stored.folder;
    if (stored.data) {
        const std::uint64_t size = stored.data->Size().value_or(kMaxForkLength);
        if (size > kMaxForkLength) {
            reading.flaw = Refusal{ImportResult::WriteFailed,
                                   "the data file is 4 GiB or longer, more than a data fork can "
                                   "hold"};
            return reading;
        }
        reading.file.data = PlaceFork(*stored.data, 0, size);
    }
    return reading;
}

// The description read from the AppleDouble header beside the data file or folder.
MacFileReading FromHeader(const StoredFile& stored) {
    if (!stored.header) return Plain(stored);
    const ReadOptions every{.everyVariant = true};
    MacFileReading reading =
        stored.folder || !stored.data
            ? ReadAppleDoubleFolder(*stored.header, stored.headerPath, every)
            : ReadAppleDouble(*stored.data, *stored.header, stored.headerPath, every);
    reading.file.folder = stored.folder;
    return reading;
}

// The name, dates and attributes every layout takes from the volume itself.
void TakeFromVolume(const StoredFile& stored, std::string macName, MacFileDescription& file) {
    file.onServerVolume = true;
    if (file.name.empty()) {
        file.name = std::move(macName);
        file.nameCoding = NameCoding::Utf8;
    }
    if (stored.modified) file.dates.modified = stored.modified;
}

// Attributes the header did not carry already, by name.
void AddAttributes(std::vector<ExtendedAttribute>& to, std::vector<ExtendedAttribute> more) {
    for (ExtendedAttribute& attribute : more)
        if (std::none_of(to.begin(), to.end(),
                         [&](const ExtendedAttribute& had) { return had.name == attribute.name; }))
            to.push_back(std::move(attribute));
}

// Samba's records: its creation time, and the stream attributes.
void TakeSambaRecords(const SambaStreams& streams, MacFileDescription& file) {
    if (streams.dosAttributes)
        if (const auto created = ReadDosCreated(*streams.dosAttributes))
            file.dates.created = created;
    AddAttributes(file.extendedAttributes, streams.attributes);
}

std::vector<std::uint8_t> WithoutZero(const std::vector<std::uint8_t>& value) {
    if (value.empty() || value.back() != 0) return value;
    return {value.begin(), value.end() - 1};
}

}  // namespace

MacFileReading ReadAppleDoubleStored(const StoredFile& stored) {
    MacFileReading reading = FromHeader(stored);
    if (reading.refusal) return reading;
    TakeFromVolume(stored, MacNameOfStored(stored.name), reading.file);
    return reading;
}

MacFileReading ReadFruitStored(const StoredFile& stored) {
    MacFileReading reading = FromHeader(stored);
    if (reading.refusal) return reading;
    MacFileDescription& file = reading.file;
    const SambaStreams streams = ReadSambaStreams(stored.attributes);
    // netatalk's metadata is what netatalk and Samba serve: its Finder information, dates
    // and comment win over the "._" file's.
    if (streams.netatalk) {
        MemorySource metadata(*streams.netatalk);
        const MacFileReading served =
            ReadAppleDoubleFolder(metadata, "its netatalk metadata", {.everyVariant = true});
        if (!served.refusal) {
            file.finderInfo = served.file.finderInfo;
            if (!served.file.comment.empty()) file.comment = served.file.comment;
            if (served.file.dates.created) file.dates.created = served.file.dates.created;
            if (served.file.dates.backedUp) file.dates.backedUp = served.file.dates.backedUp;
            if (served.file.macAttributes) file.macAttributes = served.file.macAttributes;
        }
    }
    TakeSambaRecords(streams, file);
    TakeFromVolume(stored, MacNameOfStored(stored.name), file);
    return reading;
}

MacFileReading ReadStreamsXattrStored(const StoredFile& stored) {
    MacFileReading reading = Plain(stored);
    if (reading.flaw) return reading;
    MacFileDescription& file = reading.file;
    const SambaStreams streams = ReadSambaStreams(stored.attributes);
    if (streams.afpInfo)
        if (const auto record = ReadAfpInfo(WithoutZero(*streams.afpInfo))) {
            file.finderInfo = record->finderInfo;
            file.dates.backedUp = record->backedUp;
        }
    if (streams.resource && streams.resource->size() > 1) {
        // Held in the attribute, whose last byte is Samba's zero.
        const std::span<const std::uint8_t> fork(streams.resource->data(),
                                                 streams.resource->size() - 1);
        file.resource =
            ForkPlace{nullptr, 0, static_cast<std::uint32_t>(fork.size()), fork.size(), fork};
    }
    TakeSambaRecords(streams, file);
    TakeFromVolume(stored, MacNameOfStored(stored.name), file);
    return reading;
}

MacFileReading ReadSfmStored(const StoredFile& stored) {
    MacFileReading reading = Plain(stored);
    if (reading.flaw) return reading;
    MacFileDescription& file = reading.file;
    for (const auto& [name, value] : stored.attributes) {
        if (name == kAfpInfoStream) {
            if (const auto record = ReadAfpInfo(value)) {
                file.finderInfo = record->finderInfo;
                file.dates.backedUp = record->backedUp;
            }
        } else {
            file.extendedAttributes.push_back({AttributeNameOfStored(name), value});
        }
    }
    if (stored.resource) {
        const std::uint64_t size = stored.resource->Size().value_or(0);
        if (size > kMaxForkLength)
            return Refused(ImportResult::WriteFailed,
                           "the AFP_Resource stream is 4 GiB or longer, more than a fork can hold");
        file.resource = PlaceFork(*stored.resource, 0, size);
    }
    file.dates.created = stored.created;
    TakeFromVolume(stored, MacNameOfStored(stored.name), file);
    return reading;
}

MacFileReading ReadNetatalk2Stored(const StoredFile& stored) {
    MacFileReading reading = FromHeader(stored);
    if (reading.refusal) return reading;
    // The header's own name entry is the Mac name; without one (netatalk leaves it empty at
    // times), the stored name with its escapes decoded.
    const std::optional<std::int64_t> headerModified = reading.file.dates.modified;
    TakeFromVolume(stored, Netatalk2Unescaped(stored.name), reading.file);
    // netatalk serves the later of the header's modification date and the file's.
    std::optional<std::int64_t>& modified = reading.file.dates.modified;
    if (headerModified && (!modified || *headerModified > *modified)) modified = headerModified;
    return reading;
}

}  // namespace veskar
