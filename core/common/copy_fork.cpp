// SPDX-License-Identifier: Apache-2.0
#include "core/common/copy_fork.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "core/common/import_progress.h"
#include "core/common/import_result.h"
#include "core/common/shortfall.h"
#include "platform/platform.h"

namespace veskar {

namespace {

std::unique_ptr<std::uint8_t[]> NewBuffer(std::size_t size = kCopyBufferSize) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

// Copies up to `count` bytes from `in` at `from` (or from `reader`, when given) to `out` at
// `to` in chunks, through `buffer` of `bufferSize` bytes; the first chunk comes after `lead`
// bytes already in the buffer, written with it just before `to`. `readTotal` and `written`
// count the fork's bytes, also on a failure.
CopyStatus CopyAt(platform::RawFile in, std::uint64_t from, ForkReader* reader,
                  platform::RawFile out, std::uint64_t to, std::uint32_t count,
                  std::uint8_t* buffer, std::size_t bufferSize, std::size_t lead,
                  std::uint64_t& readTotal, std::uint64_t& written) {
    readTotal = written = 0;
    std::uint32_t left = count;
    do {
        const std::size_t chunk = std::min<std::size_t>(left, bufferSize - lead);
        const std::int64_t got =
            chunk == 0 ? 0
            : reader   ? reader->Read(buffer + lead, chunk)
                       : platform::RawReadAt(in, from + readTotal, buffer + lead, chunk);
        if (got < 0) return CopyStatus::ReadFailed;
        const auto size = static_cast<std::size_t>(got);
        readTotal += size;
        if (size + lead > 0 &&
            !platform::RawWriteAllAt(out, to + written - lead, buffer, size + lead))
            return CopyStatus::WriteFailed;
        lead = 0;
        if (size == 0) break;  // the end of the source
        written += size;
        left -= static_cast<std::uint32_t>(size);
        import_progress::Advance(size);
    } while (left > 0);
    return CopyStatus::Done;
}

// Whether the fork at `place` lies within the bytes held of its source.
bool HeldWhole(const ForkPlace& place) {
    return !place.reader && place.offset <= place.held.size() &&
           place.length <= place.held.size() - place.offset;
}

// Writes the fork at `place`, which lies within the bytes held of the source, to `destination`
// at `at`, after `lead`: one write, without reading the source again.
CopyStatus WriteHeldFork(const ForkPlace& place, platform::RawFile destination, std::uint64_t at,
                         std::uint64_t& copied, std::span<const std::uint8_t> lead) {
    const auto fork = place.held.subspan(static_cast<std::size_t>(place.offset), place.length);
    if (!lead.empty() && lead.size() + fork.size() <= kCopyBufferSize) {
        const auto buffer = NewBuffer();
        if (!buffer) return CopyStatus::NoBuffer;
        std::copy(fork.begin(), fork.end(), std::copy(lead.begin(), lead.end(), buffer.get()));
        if (!platform::RawWriteAllAt(destination, at - lead.size(), buffer.get(),
                                     lead.size() + fork.size()))
            return CopyStatus::WriteFailed;
    } else if (!platform::RawWriteAllAt(destination, at - lead.size(), lead.data(), lead.size()) ||
               !platform::RawWriteAllAt(destination, at, fork.data(), fork.size())) {
        return CopyStatus::WriteFailed;
    }
    copied = fork.size();
    import_progress::Advance(fork.size());
    return CopyStatus::Done;
}

}  // namespace

namespace {

// CopyFork from `reader` when it is given, else from the source's position, `chunk` bytes at a
// time.
CopyStatus CopyForkFrom(std::FILE* source, ForkReader* reader, std::FILE* destination,
                        std::uint32_t count, std::uint64_t* copied, std::size_t chunk) {
    if (copied) *copied = 0;

    // The bulk of a fork bypasses the stream buffers, starting where each stream logically
    // stands. The positions are taken before the flush: Microsoft's C runtime flushes an input
    // stream by dropping its read-ahead without moving the file back, after which the stream
    // reports the end of the read-ahead instead.
    const auto sourceAt = reader ? std::optional<std::uint64_t>(0) : platform::Tell(source);
    const auto destinationAt = platform::Tell(destination);
    if (!sourceAt || !destinationAt) return CopyStatus::WriteFailed;
    if (!reader) std::fflush(source);
    std::fflush(destination);
    std::uint64_t readTotal = 0;
    std::uint64_t written = 0;
    const auto buffer = NewBuffer(chunk);
    const CopyStatus status =
        !buffer ? CopyStatus::NoBuffer
                : CopyAt(reader ? platform::RawFile{} : platform::RawOf(source), *sourceAt, reader,
                         platform::RawOf(destination), *destinationAt, count, buffer.get(), chunk,
                         0, readTotal, written);
    const int error = errno;  // the reason of a failure, kept past the repositioning
    if (!reader) platform::Seek(source, *sourceAt + readTotal);
    platform::Seek(destination, *destinationAt + written);
    if (copied) *copied = written;
    errno = error;
    return status;
}

}  // namespace

CopyStatus CopyFork(std::FILE* source, std::FILE* destination, std::uint32_t count,
                    std::uint64_t* copied) {
    return CopyForkFrom(source, nullptr, destination, count, copied, kCopyBufferSize);
}

CopyStatus CopyForkTo(const ForkPlace& place, platform::RawFile destination, std::uint64_t at,
                      std::uint64_t& copied, std::span<const std::uint8_t> lead) {
    copied = 0;
    std::uint64_t readTotal = 0;
    if (place.length == 0 && lead.empty()) return CopyStatus::Done;
    if (HeldWhole(place)) return WriteHeldFork(place, destination, at, copied, lead);
    const auto buffer = NewBuffer(place.chunk);
    if (!buffer) return CopyStatus::NoBuffer;
    // Bytes to go just before the fork share its first write when they leave room for a chunk.
    std::size_t held = 0;
    if (lead.size() <= place.chunk / 2) {
        std::copy(lead.begin(), lead.end(), buffer.get());
        held = lead.size();
    } else if (!platform::RawWriteAllAt(destination, at - lead.size(), lead.data(), lead.size())) {
        return CopyStatus::WriteFailed;
    }
    return CopyAt(place.reader ? platform::RawFile{} : platform::RawOf(place.stream), place.offset,
                  place.reader, destination, at, place.length, buffer.get(), place.chunk, held,
                  readTotal, copied);
}

CopyStatus ForEachForkPiece(const ForkPlace& place,
                            const std::function<bool(std::span<const std::uint8_t> piece)>& take,
                            std::uint64_t& read) {
    read = 0;
    if (place.length == 0) return CopyStatus::Done;
    if (HeldWhole(place)) {
        read = place.length;
        import_progress::Advance(place.length);
        return take(place.held.subspan(static_cast<std::size_t>(place.offset), place.length))
                   ? CopyStatus::Done
                   : CopyStatus::WriteFailed;
    }
    const auto buffer = NewBuffer(place.chunk);
    if (!buffer) return CopyStatus::NoBuffer;
    const platform::RawFile raw =
        place.reader ? platform::RawFile{} : platform::RawOf(place.stream);
    while (read < place.length) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(place.chunk, place.length - read));
        const std::int64_t got =
            place.reader ? place.reader->Read(buffer.get(), want)
                         : platform::RawReadAt(raw, place.offset + read, buffer.get(), want);
        if (got < 0) return CopyStatus::ReadFailed;
        if (got == 0) break;
        read += static_cast<std::uint64_t>(got);
        import_progress::Advance(static_cast<std::uint64_t>(got));
        if (!take({buffer.get(), static_cast<std::size_t>(got)})) return CopyStatus::WriteFailed;
    }
    return CopyStatus::Done;
}

std::string SystemReason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string CopyFailure(CopyStatus status, std::string_view fork, std::string_view written) {
    switch (status) {
        case CopyStatus::Done:
            break;
        case CopyStatus::ReadFailed:
            return ReadFailure(fork);
        case CopyStatus::NoBuffer:
            return "no memory for the copy buffer";
        case CopyStatus::WriteFailed:
            return SystemReason("cannot write " + std::string(written));
    }
    return {};
}

CopyStatus CopyPlacedFork(const ForkPlace& place, std::FILE* destination, std::uint64_t& copied,
                          std::string_view fork, std::string_view written, std::string& detail) {
    copied = 0;
    if (place.length == 0) return CopyStatus::Done;
    // A fork within the bytes held of the source goes out in one write: no read of the source,
    // and one write request to the file system, not one a chunk.
    if (HeldWhole(place)) {
        const auto bytes = place.held.subspan(static_cast<std::size_t>(place.offset), place.length);
        if (std::fwrite(bytes.data(), 1, bytes.size(), destination) != bytes.size()) {
            detail = CopyFailure(CopyStatus::WriteFailed, fork, written);
            return CopyStatus::WriteFailed;
        }
        copied = bytes.size();
        import_progress::Advance(bytes.size());
        return CopyStatus::Done;
    }
    const CopyStatus status = place.reader || platform::Seek(place.stream, place.offset)
                                  ? CopyForkFrom(place.stream, place.reader, destination,
                                                 place.length, &copied, place.chunk)
                                  : CopyStatus::ReadFailed;
    if (status != CopyStatus::Done) detail = CopyFailure(status, fork, written);
    return status;
}

ImportResult ResultOf(CopyStatus failed) {
    return failed == CopyStatus::ReadFailed ? ImportResult::ReadFailed : ImportResult::WriteFailed;
}

std::string ForkShortfall(const ForkPlace& data, std::uint64_t dataHeld, const ForkPlace& resource,
                          std::uint64_t resourceHeld) {
    std::string shortfall;
    NoteShortfall(shortfall, "the data fork", data.stated, dataHeld);
    NoteShortfall(shortfall, "the resource fork", resource.stated, resourceHeld);
    return shortfall;
}

std::uint64_t BytesAvailable(const ForkPlace& fork) {
    if (fork.length == 0) return 0;
    if (fork.reader) return fork.length;  // only a copy can tell
    const auto size = platform::StreamSize(fork.stream);
    if (!size) return fork.length;
    return *size > fork.offset ? std::min<std::uint64_t>(fork.length, *size - fork.offset) : 0;
}

CopyStatus ReadPlacedFork(const ForkPlace& place, std::vector<std::uint8_t>& bytes,
                          std::string_view fork, std::string& detail) {
    bytes.assign(place.length, 0);
    std::size_t held = 0;
    if (!place.reader && place.offset + place.length <= place.held.size()) {
        // Wholly within the bytes read already (a fork kept in an attribute, say).
        std::copy_n(place.held.begin() + static_cast<std::ptrdiff_t>(place.offset), place.length,
                    bytes.begin());
        held = place.length;
    } else if (place.reader) {
        while (held < bytes.size()) {
            const std::int64_t got = place.reader->Read(bytes.data() + held, bytes.size() - held);
            if (got < 0) {
                detail = ReadFailure(fork);
                return CopyStatus::ReadFailed;
            }
            if (got == 0) break;
            held += static_cast<std::size_t>(got);
        }
    } else if (place.length != 0) {
        if (!platform::Seek(place.stream, place.offset)) {
            detail = ReadFailure(fork);
            return CopyStatus::ReadFailed;
        }
        held = std::fread(bytes.data(), 1, bytes.size(), place.stream);
        if (std::ferror(place.stream)) {
            detail = ReadFailure(fork);
            return CopyStatus::ReadFailed;
        }
    }
    bytes.resize(held);
    return CopyStatus::Done;
}

}  // namespace veskar
