#include "containers/copy_fork.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "containers/import_progress.h"
#include "containers/shortfall.h"
#include "platform/platform.h"

CopyStatus CopyFork(std::FILE* source, std::FILE* destination, std::uint32_t count,
                    std::uint64_t* copied) {
    if (copied) *copied = 0;

    // The bulk of a fork bypasses the stream buffers: copied by the system where it can copy
    // between the two files, else one OS read and one OS write per chunk, starting where each
    // stream logically stands. The positions are taken before the flush: Microsoft's C
    // runtime flushes an input stream by dropping its read-ahead without moving the file
    // back, after which the stream reports the end of the read-ahead instead.
    const auto sourceAt = platform::Tell(source);
    const auto destinationAt = platform::Tell(destination);
    if (!sourceAt || !destinationAt) return CopyStatus::WriteFailed;
    std::fflush(source);
    std::fflush(destination);
    const platform::RawFile in = platform::RawOf(source);
    const platform::RawFile out = platform::RawOf(destination);
    platform::RawSeek(in, *sourceAt);
    platform::RawSeek(out, *destinationAt);

    CopyStatus status = CopyStatus::Done;
    std::unique_ptr<std::uint8_t[]> buffer;  // only when the system cannot copy
    std::uint64_t readTotal = 0;
    std::uint64_t written = 0;
    std::uint32_t left = count;
    while (left > 0) {
        const std::size_t chunk = std::min<std::size_t>(left, kCopyBufferSize);
        std::optional<std::int64_t> moved;
        if (!buffer) moved = platform::RawCopy(in, out, chunk);
        // A failed copy by the system is tried again by reading and writing, which tells
        // whether the source or the destination failed, and why; so is one that copied
        // nothing, which some file systems answer for a failed read as for the end.
        if (!moved || *moved <= 0) {
            if (!buffer) buffer.reset(new (std::nothrow) std::uint8_t[kCopyBufferSize]());
            if (!buffer) {
                status = CopyStatus::NoBuffer;
                break;
            }
            moved = platform::RawRead(in, buffer.get(), chunk);
            if (*moved < 0) {
                status = CopyStatus::ReadFailed;
                break;
            }
            readTotal += static_cast<std::uint64_t>(*moved);
            if (!platform::RawWriteAll(out, buffer.get(), static_cast<std::size_t>(*moved))) {
                status = CopyStatus::WriteFailed;
                break;
            }
        } else {
            readTotal += static_cast<std::uint64_t>(*moved);
        }
        if (*moved == 0) break;  // the end of the source
        written += static_cast<std::uint64_t>(*moved);
        left -= static_cast<std::uint32_t>(*moved);
        import_progress::Advance(static_cast<std::size_t>(*moved));
    }

    const int error = errno;  // the reason of a failure, kept past the repositioning
    platform::Seek(source, *sourceAt + readTotal);
    platform::Seek(destination, *destinationAt + written);
    if (copied) *copied = written;
    errno = error;
    return status;
}

std::string SystemReason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

CopyStatus CopyPlacedFork(const ForkPlace& place, std::FILE* destination, std::uint64_t& copied,
                          std::string_view fork, std::string_view written, std::string& detail) {
    copied = 0;
    if (place.length == 0) return CopyStatus::Done;
    const CopyStatus status = platform::Seek(place.stream, place.offset)
                                  ? CopyFork(place.stream, destination, place.length, &copied)
                                  : CopyStatus::ReadFailed;
    switch (status) {
        case CopyStatus::Done:
            break;
        case CopyStatus::ReadFailed:
            detail = ReadFailure(fork);
            break;
        case CopyStatus::NoBuffer:
            detail = "no memory for the copy buffer";
            break;
        case CopyStatus::WriteFailed:
            detail = SystemReason("cannot write " + std::string(written));
            break;
    }
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
    const auto size = platform::StreamSize(fork.stream);
    if (!size) return fork.length;
    return *size > fork.offset ? std::min<std::uint64_t>(fork.length, *size - fork.offset) : 0;
}

CopyStatus ReadPlacedFork(const ForkPlace& place, std::vector<std::uint8_t>& bytes,
                          std::string_view fork, std::string& detail) {
    bytes.assign(place.length, 0);
    std::size_t held = 0;
    if (place.length != 0) {
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
