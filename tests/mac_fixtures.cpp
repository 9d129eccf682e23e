// SPDX-License-Identifier: Apache-2.0
#include "tests/mac_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace veskar {

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes PatternBytes(std::size_t count, std::uint32_t seed) {
    Bytes out(count);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

void PutBigEndian32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void PutBigEndian16(Bytes& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

Bytes MacBinaryHeaderOf(const MacFile& file) {
    Bytes header(128, 0);
    header[1] = static_cast<std::uint8_t>(file.name.size());
    for (std::size_t i = 0; i < file.name.size() && 2 + i < 65; ++i)
        header[2 + i] = static_cast<std::uint8_t>(file.name[i]);
    for (std::size_t i = 0; i < 4; ++i) {
        header[65 + i] = i < file.type.size() ? static_cast<std::uint8_t>(file.type[i]) : 0;
        header[69 + i] = i < file.creator.size() ? static_cast<std::uint8_t>(file.creator[i]) : 0;
    }
    PutBigEndian16(header, 73, file.finderFlags);
    PutBigEndian32(header, 83, static_cast<std::uint32_t>(file.data.size()));
    PutBigEndian32(header, 87, static_cast<std::uint32_t>(file.resource.size()));
    PutBigEndian32(header, 91, file.created);
    PutBigEndian32(header, 95, file.modified);
    if (!file.comment.empty() || file.secondaryHeader != 0) {
        PutBigEndian16(header, 99, static_cast<std::uint16_t>(file.comment.size()));
        PutBigEndian16(header, 120, file.secondaryHeader);
        header[122] = header[123] = 129;
        // CRC-16/XMODEM of bytes 0-123, bit by bit.
        std::uint16_t crc = 0;
        for (std::size_t i = 0; i < 124; ++i) {
            crc ^= static_cast<std::uint16_t>(header[i] << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        PutBigEndian16(header, 124, crc);
    }
    return header;
}

Bytes EncodeMacBinary(const MacFile& file) {
    Bytes out = MacBinaryHeaderOf(file);
    auto pad = [&out] { out.resize((out.size() + 127) / 128 * 128, 0); };
    out.resize(out.size() + file.secondaryHeader, 0xEE);
    pad();
    out.insert(out.end(), file.data.begin(), file.data.end());
    pad();
    out.insert(out.end(), file.resource.begin(), file.resource.end());
    pad();
    out.insert(out.end(), file.comment.begin(), file.comment.end());
    pad();
    return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes ReadFile(const std::string& path) {
    Bytes out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    std::uint8_t buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.insert(out.end(), buffer, buffer + got);
    std::fclose(f);
    return out;
}

TempDir::TempDir() {
    // The temporary folder the process started with: tests that point TMPDIR at a folder of
    // their own must not find their other folders made inside it.
    static std::error_code baseError;
    static const auto base = std::filesystem::temp_directory_path(baseError);
    if (baseError) return;
    std::error_code error;
    // create_directory reports false for a name that exists, so a clash takes another name.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path = base / ("veskar-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path, error)) {
            path_ = path.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

CurrentFolderGuard::CurrentFolderGuard() {
    std::error_code ignored;
    saved_ = std::filesystem::current_path(ignored).string();
}

CurrentFolderGuard::~CurrentFolderGuard() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
}

}  // namespace veskar
