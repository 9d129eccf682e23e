// SPDX-License-Identifier: Apache-2.0
// Moving a fork between two open files in fixed chunks, beneath the C streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/import_result.h"
#include "platform/platform.h"

namespace veskar {

constexpr std::size_t kCopyBufferSize = 40960;
// The command line's copies move as much at a time as one FUSE write request carries, so that
// a mount gets no more requests for a fork than for a plain copy of it.
constexpr std::size_t kLargeCopySize = 128 * 1024;

enum class CopyStatus {
    Done,         // copied the count, or up to the end of the source
    NoBuffer,     // the copy buffer could not be obtained
    WriteFailed,  // the destination refused a write (a full volume, say)
    ReadFailed,   // a read of the source failed (a damaged disk, a vanished network file)
};

// Copies up to `count` bytes from the source's current position to the destination's,
// stopping early at the end of the source. Both streams are left just after what was read and
// written. `copied`, when given, receives the bytes written. After a failed read or write,
// errno tells why.
CopyStatus CopyFork(std::FILE* source, std::FILE* destination, std::uint32_t count,
                    std::uint64_t* copied = nullptr);

// A fork whose bytes are made as they are read (decoded from a text, say): handed out in
// order, once each.
class ForkReader {
  public:
    // Up to `room` of the fork's next bytes into `into`: the count, 0 at its end, -1 after a
    // read that failed (errno tells why).
    virtual std::int64_t Read(std::uint8_t* into, std::size_t room) = 0;

  protected:
    ~ForkReader() = default;
};

// Where one fork lies in an open source.
struct ForkPlace {
    std::FILE* stream = nullptr;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;  // the bytes to copy
    // The length the source states for the fork: a copy that delivers less (the source ends
    // first, or shrinks meanwhile) makes the output a truncated one.
    std::uint64_t stated = 0;
    // The source's first bytes, read already: a fork wholly within them is copied from here.
    std::span<const std::uint8_t> held{};
    // When given, the fork's bytes come from here, from its start, instead of from `stream`.
    ForkReader* reader = nullptr;
    // The bytes one read and one write of a copy move.
    std::size_t chunk = kCopyBufferSize;
};

// Copies the fork at `place` to the destination's position: Done, or a failure with `detail`
// saying why in the words of the fork read (`fork`) and of the output written (`written`).
CopyStatus CopyPlacedFork(const ForkPlace& place, std::FILE* destination, std::uint64_t& copied,
                          std::string_view fork, std::string_view written, std::string& detail);

// Why a copy failed, in the words of the fork read (`fork`) and of the output written
// (`written`); errno tells the system's reason.
std::string CopyFailure(CopyStatus status, std::string_view fork, std::string_view written);

// Copies the fork at `place` to `destination` at offset `at` (after the bytes `lead`, written
// just before it), moving neither the source's stream nor the destination's position;
// `copied` receives the fork's bytes written. After a failed read or write, errno tells why.
CopyStatus CopyForkTo(const ForkPlace& place, platform::RawFile destination, std::uint64_t at,
                      std::uint64_t& copied, std::span<const std::uint8_t> lead = {});

// Reads the fork at `place` into `bytes` (up to the end of the source): Done, or ReadFailed
// with `detail` saying why in the words of `fork`.
CopyStatus ReadPlacedFork(const ForkPlace& place, std::vector<std::uint8_t>& bytes,
                          std::string_view fork, std::string& detail);

// Hands the fork at `place` to `take` in pieces of at most its chunk, in order, up to the end
// of the source; `read` gets the bytes handed. ReadFailed (errno set) when a read fails,
// WriteFailed when `take` returns false, NoBuffer without memory.
CopyStatus ForEachForkPiece(const ForkPlace& place,
                            const std::function<bool(std::span<const std::uint8_t> piece)>& take,
                            std::uint64_t& read);

// The result of an output that a copy failed: ReadFailed for a read, WriteFailed otherwise.
ImportResult ResultOf(CopyStatus failed);

// How much of a fork a copy would deliver: the copy stops at the end of the source.
std::uint64_t BytesAvailable(const ForkPlace& fork);

// What the forks lack of their stated lengths, given how much of each was held (the shortfall
// phrases, empty when nothing is missing).
std::string ForkShortfall(const ForkPlace& data, std::uint64_t dataHeld, const ForkPlace& resource,
                          std::uint64_t resourceHeld);

// "what: the system's reason", from errno.
std::string SystemReason(const std::string& what);

}  // namespace veskar
