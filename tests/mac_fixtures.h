// SPDX-License-Identifier: Apache-2.0
// Small encoders that build Macintosh container files for the tests, from the published
// layouts, so that fixtures are readable code rather than opaque blobs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veskar {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text);
Bytes PatternBytes(std::size_t count, std::uint32_t seed = 1);  // deterministic, varied

void PutBigEndian32(Bytes& out, std::size_t at, std::uint32_t value);
void PutBigEndian16(Bytes& out, std::size_t at, std::uint16_t value);

struct MacFile {
    std::string name = "Report";   // Macintosh name bytes
    std::string type = "TEXT";     // 4 bytes
    std::string creator = "ttxt";  // 4 bytes
    std::uint16_t finderFlags = 0;
    Bytes data;
    Bytes resource;
    std::uint32_t created = 0, modified = 0;  // seconds since 1904; 0 is none
    // MacBinary II (version 129, with its header check value) when either is given: the
    // "Get Info" comment after the resource fork, and a secondary header before the data fork.
    std::string comment;
    std::uint16_t secondaryHeader = 0;
};

// MacBinary: 128-byte header, data fork, padding to 128, resource fork, padding to 128.
Bytes EncodeMacBinary(const MacFile& file);
// The bare 128-byte header of that encoding, for tests that edit fields.
Bytes MacBinaryHeaderOf(const MacFile& file);

bool WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// A fresh temporary folder, removed with everything in it at the end of the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Restores the process's current folder at the end of the scope (imports change it).
class CurrentFolderGuard {
  public:
    CurrentFolderGuard();
    ~CurrentFolderGuard();

  private:
    std::string saved_;
};

}  // namespace veskar
