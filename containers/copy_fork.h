// Moving a fork between two open files in fixed chunks, beneath the C streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t kCopyBufferSize = 40960;

enum class CopyStatus {
    Done,         // copied the count, or up to the end of the source
    NoBuffer,     // the copy buffer could not be obtained; nothing was copied
    WriteFailed,  // the destination refused a write (a full volume, say)
    ReadFailed,   // a read of the source failed (a damaged disk, a vanished network file)
};

// Copies up to `count` bytes from the source's current position to the destination's,
// stopping early at the end of the source. Both streams are left just after what was read and
// written. `copied`, when given, receives the bytes written. After a failed read or write,
// errno tells why.
CopyStatus CopyFork(std::FILE* source, std::FILE* destination, std::uint32_t count,
                    std::uint64_t* copied = nullptr);
