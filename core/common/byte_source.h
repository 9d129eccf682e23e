// SPDX-License-Identifier: Apache-2.0
// What a reader reads a source through: bytes at an offset and the size, from an open file
// or from memory. Readers never move a stream's position for anyone else and never touch the
// current folder, so the same reading runs on a file and, under a fuzzer, on bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

namespace veskar {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `buffer.size()` bytes at `offset`: the bytes read (fewer at the end of the
    // source), or nullopt when a read failed (errno tells why). Bytes of `buffer` past those
    // read keep what they held.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) = 0;
    // The source's size; nullopt when it cannot be told (a pipe, say).
    virtual std::optional<std::uint64_t> Size() = 0;
    // The open file that a writer copies forks from; nullptr for bytes in memory.
    virtual std::FILE* Stream() const = 0;
    // The source's first bytes as they are held in memory already (none for a plain file): a
    // writer copies a fork that lies within them without reading the file again.
    virtual std::span<const std::uint8_t> Held() const { return {}; }
};

// An open C stream; the caller keeps it open and closes it.
class FileSource final : public ByteSource {
  public:
    explicit FileSource(std::FILE* stream) : stream_(stream) {}
    std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() override;
    std::FILE* Stream() const override { return stream_; }

  private:
    std::FILE* stream_;
};

// What a caller read of an open source before handing it on: its first bytes and its size.
struct SourceStart {
    std::span<const std::uint8_t> head;
    std::uint64_t size = 0;
};

// An open C stream whose start the caller has read already: reads within it and the size are
// answered from memory, the rest from the file.
class StartedFileSource final : public ByteSource {
  public:
    StartedFileSource(std::FILE* stream, SourceStart start) : file_(stream), start_(start) {}
    std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() override { return start_.size; }
    std::FILE* Stream() const override { return file_.Stream(); }
    std::span<const std::uint8_t> Held() const override { return start_.head; }

  private:
    FileSource file_;
    SourceStart start_;
};

// Bytes in memory, which must outlive it.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() override { return bytes_.size(); }
    std::FILE* Stream() const override { return nullptr; }

  private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace veskar
