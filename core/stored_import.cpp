// SPDX-License-Identifier: Apache-2.0
#include "core/stored_import.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "core/common/byte_source.h"
#include "core/common/c_stream.h"
#include "core/import.h"
#include "core/read/applesingle.h"
#include "core/read/binhex.h"
#include "core/read/binhex/binhex_check.h"
#include "core/read/macbinary.h"
#include "core/read/stored_file.h"
#include "platform/platform.h"

namespace veskar {

namespace {

constexpr std::string_view kNetatalkFolder = ".AppleDouble";
constexpr std::string_view kNetatalkParent = ".Parent";
constexpr std::string_view kResourceStream = "AFP_Resource";
// A named stream is an extended attribute of the Mac file, read whole: one larger than this is
// no attribute a Mac keeps.
constexpr std::uint64_t kMaxStreamBytes = 64ull << 20;

MacFileReading Refused(ImportResult result, std::string detail) {
    MacFileReading reading;
    reading.refusal = Refusal{result, std::move(detail)};
    return reading;
}

std::string Joined(const std::string& folder, std::string_view name) {
    if (folder.empty() || platform::IsSeparator(folder.back())) return folder + std::string(name);
    return folder + platform::kPathSeparator + std::string(name);
}

// Everything the import keeps open while the file is written: the files opened and the bytes
// read, which the description's forks point into.
struct Gathered {
    CStream data, header, resource;
    // Sized as the open found them: asked once, which on a FUSE volume is a request each.
    std::optional<StartedFileSource> dataSource, resourceSource;
    std::optional<FileSource> headerSource;
    std::optional<platform::RawFile> folder;
    StoredFile stored;
    ~Gathered() {
        if (folder) platform::CloseFolder(*folder);
    }
};

// Reads a named stream whole, of the size its open found, in one read where it can (no read
// past its end, which a FUSE volume answers with a look at the file first); nullopt (errno
// set) when it cannot be.
std::optional<std::vector<std::uint8_t>> ReadStream(const std::string& path,
                                                    std::string_view name) {
    std::uint64_t size = 0;
    const CStream stream(platform::OpenNamedStream(path, name, &size));
    if (!stream) return std::nullopt;
    if (size > kMaxStreamBytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const platform::RawFile raw = platform::RawOf(stream.get());
    std::size_t held = 0;
    while (held < bytes.size()) {
        const std::int64_t got =
            platform::RawReadAt(raw, held, bytes.data() + held, bytes.size() - held);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        held += static_cast<std::size_t>(got);
    }
    bytes.resize(held);
    return bytes;
}

// Gathers what `layout` keeps of the file or folder at `path`; a refusal says why not.
std::optional<Refusal> Gather(StoredLayout layout, const std::string& path, bool folder,
                              Gathered& gathered) {
    StoredFile& stored = gathered.stored;
    stored.folder = folder;
    stored.name = platform::NativeToUtf8(path.substr(platform::FileNameStart(path)));
    platform::RawFile raw;
    if (folder) {
        gathered.folder = platform::OpenFolderForReading(path);
        if (!gathered.folder) return Refusal{ImportResult::CannotOpen, std::strerror(errno)};
        raw = *gathered.folder;
    } else {
        std::uint64_t size = 0;
        gathered.data.reset(platform::OpenSource(path, size, &stored.modified));
        if (!gathered.data) return Refusal{ImportResult::CannotOpen, std::strerror(errno)};
        std::setvbuf(gathered.data.get(), nullptr, _IONBF, 0);
        gathered.dataSource.emplace(gathered.data.get(), SourceStart{{}, size});
        stored.data = &*gathered.dataSource;
        raw = platform::RawOf(gathered.data.get());
    }
    // Only NTFS keeps a creation time of its own that a layout reads.
    if (folder || !stored.modified) {
        const platform::FileTimes times = platform::TimesOf(raw);
        stored.modified = times.modified;
        if (layout == StoredLayout::Sfm) stored.created = times.created;
    } else if (layout == StoredLayout::Sfm) {
        stored.created = platform::CreationTimeOf(raw);
    }

    if (layout == StoredLayout::Fruit || layout == StoredLayout::StreamsXattr) {
        std::optional<platform::UserAttributes> attributes = platform::UserAttributesOf(raw);
        if (!attributes)
            return Refusal{
                ImportResult::ReadFailed,
                std::string("cannot read its extended attributes: ") + std::strerror(errno)};
        stored.attributes = std::move(*attributes);
    }
    if (layout == StoredLayout::Sfm) {
        for (const std::string& name : platform::NamedStreamsOf(path)) {
            if (name == kResourceStream) {
                std::uint64_t size = 0;
                gathered.resource.reset(platform::OpenNamedStream(path, name, &size));
                if (!gathered.resource)
                    return Refusal{ImportResult::ReadFailed,
                                   std::string("cannot open its AFP_Resource stream: ") +
                                       std::strerror(errno)};
                std::setvbuf(gathered.resource.get(), nullptr, _IONBF, 0);
                gathered.resourceSource.emplace(gathered.resource.get(), SourceStart{{}, size});
                stored.resource = &*gathered.resourceSource;
                continue;
            }
            std::optional<std::vector<std::uint8_t>> bytes = ReadStream(path, name);
            if (!bytes)
                return Refusal{ImportResult::ReadFailed,
                               "cannot read its stream " + name + ": " + std::strerror(errno)};
            stored.attributes.emplace_back(name, std::move(*bytes));
        }
    }
    if (const std::string header = StoredHeaderPath(layout, path, folder); !header.empty()) {
        gathered.header.reset(platform::OpenStream(header, "rb"));
        if (gathered.header) {
            gathered.headerSource.emplace(gathered.header.get());
            stored.header = &*gathered.headerSource;
            stored.headerPath = header;
        } else if (errno != ENOENT) {
            return Refusal{ImportResult::CannotOpen,
                           "its header " + header + ": " + std::strerror(errno)};
        }
    }
    return std::nullopt;
}

MacFileReading ReadGathered(StoredLayout layout, const StoredFile& stored) {
    switch (layout) {
        case StoredLayout::Sfm:
            return ReadSfmStored(stored);
        case StoredLayout::Fruit:
            return ReadFruitStored(stored);
        case StoredLayout::StreamsXattr:
            return ReadStreamsXattrStored(stored);
        case StoredLayout::Netatalk2:
            return ReadNetatalk2Stored(stored);
        default:  // macOS's "._" files (the wrappings are no stored layout)
            break;
    }
    return ReadAppleDoubleStored(stored);
}

}  // namespace

std::string StoredHeaderPath(StoredLayout layout, const std::string& path, bool folder) {
    const std::size_t nameAt = platform::FileNameStart(path);
    switch (layout) {
        case StoredLayout::Fruit:
        case StoredLayout::AppleDouble:
            return path.substr(0, nameAt) + "._" + path.substr(nameAt);
        case StoredLayout::Netatalk2:
            if (folder) return Joined(Joined(path, kNetatalkFolder), kNetatalkParent);
            return Joined(path.substr(0, nameAt) + std::string(kNetatalkFolder),
                          path.substr(nameAt));
        default:
            break;
    }
    return {};
}

bool IsLayoutFolder(std::string_view name) {
    return name == kNetatalkFolder;
}

namespace {

// A wrapping read back as a file of its format, with our own readers (BinHex whole, its check
// values checked).
std::optional<Refusal> ReadWrapping(
    StoredLayout layout, const std::string& path,
    const std::function<void(const MacFileReading& reading, const StoredIdentities& files)>& use) {
    const CStream file(platform::OpenStream(path, "rb"));
    if (!file) return Refusal{ImportResult::CannotOpen, std::strerror(errno)};
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    StoredIdentities files;
    files.data = platform::IdentityOf(file.get());
    FileSource source(file.get());
    MacFileReading reading;
    std::optional<binhex::Contents> contents;
    if (layout == StoredLayout::MacBinary) {
        reading = ReadMacBinary(source);
        if (!reading.refusal && reading.checkFailure) reading.refusal = reading.checkFailure;
    } else if (layout == StoredLayout::AppleSingle) {
        reading = ReadAppleSingle(source, {.everyVariant = true});
    } else {
        const auto start =
            binhex::FindDataStart(file.get(), binhex::Start::LineAfterIdentification);
        if (!start) return Refusal{ImportResult::NotBinHex, "not BinHex"};
        contents = binhex::ReadContents(file.get(), *start);
        if (auto refusal = BinHexVerifyRefusal(*contents)) return refusal;
        reading = ReadBinHexContents(*contents);
    }
    if (reading.refusal) return reading.refusal;
    use(reading, files);
    return std::nullopt;
}

}  // namespace

std::optional<Refusal> ReadStored(
    StoredLayout layout, const std::string& path,
    const std::function<void(const MacFileReading& reading, const StoredIdentities& files)>& use) {
    if (layout == StoredLayout::MacBinary || layout == StoredLayout::AppleSingle ||
        layout == StoredLayout::BinHex)
        return ReadWrapping(layout, path, use);
    Gathered gathered;
    if (auto refusal = Gather(layout, path, false, gathered)) return refusal;
    const MacFileReading reading = ReadGathered(layout, gathered.stored);
    if (reading.refusal) return reading.refusal;
    StoredIdentities files;
    files.data = platform::IdentityOf(gathered.data.get());
    if (gathered.header) files.header = platform::IdentityOf(gathered.header.get());
    use(reading, files);
    return std::nullopt;
}

ImportResult ImportStored(StoredLayout layout, std::string_view targetFolder,
                          std::string_view sourcePath, const ImportRequest& request,
                          ImportReport& report) {
    Gathered gathered;
    return ImportDescribed(targetFolder, sourcePath, request, WindowWriter(true), report, [&] {
        if (const auto refusal = Gather(layout, std::string(sourcePath), false, gathered))
            return Refused(refusal->result, refusal->detail);
        return ReadGathered(layout, gathered.stored);
    });
}

ImportResult ImportStoredFolder(StoredLayout layout, std::string_view targetFolder,
                                const std::string& folderName, const std::string& sourceFolder,
                                const ImportRequest& request, ImportReport& report) {
    Gathered gathered;
    return ImportFolderDescribed(targetFolder, folderName, request, report, [&] {
        if (const auto refusal = Gather(layout, sourceFolder, true, gathered))
            return Refused(refusal->result, refusal->detail);
        return ReadGathered(layout, gathered.stored);
    });
}

}  // namespace veskar
