// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_format.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "core/common/import_progress.h"
#include "core/common/import_result.h"
#include "core/read/binhex/binhex_passes.h"
#include "platform/platform.h"

namespace veskar {

namespace binhex {

namespace {

bool IsLineBreak(std::uint8_t c) {
    return c == '\r' || c == '\n';
}

}  // namespace

bool HasIdentification(std::span<const std::uint8_t> head) {
    const auto end = std::find(head.begin(), head.end(), 0);
    const std::string_view text(reinterpret_cast<const char*>(head.data()),
                                static_cast<std::size_t>(end - head.begin()));
    return text.find(kIdentification) != std::string_view::npos;
}

}  // namespace binhex

bool IsBinHexFile(std::FILE* source) {
    std::array<std::uint8_t, binhex::kProbeBytes> head{};
    if (!platform::Seek(source, 0)) return false;
    const std::size_t got = std::fread(head.data(), 1, head.size(), source);
    if (std::ferror(source)) return false;
    const bool rewound = platform::Seek(source, 0);
    return rewound && binhex::HasIdentification({head.data(), got});
}

namespace binhex {

std::optional<std::uint64_t> FindDataStart(std::FILE* source, Start rule,
                                           std::string* readFailure) {
    // Looking for the data is not progress through it.
    const import_progress::Pass uncounted(0, 0);
    auto failed = [&] {
        if (readFailure) *readFailure = ReadFailure("the text");
        return std::nullopt;
    };
    if (rule == Start::FirstColon) {
        if (IsBinHexFile(source)) return 0;
        if (std::ferror(source)) return failed();
        return std::nullopt;
    }
    if (!platform::Seek(source, 0)) return failed();
    std::vector<std::uint8_t> head(kMailProbeBytes);
    head.resize(std::fread(head.data(), 1, head.size(), source));
    if (std::ferror(source)) return failed();
    // As in the window's probe, the text stops counting at its first zero byte.
    const auto end = std::find(head.begin(), head.end(), 0);
    const std::string_view text(reinterpret_cast<const char*>(head.data()),
                                static_cast<std::size_t>(end - head.begin()));
    const std::size_t found = text.find(kIdentification);
    if (found == std::string_view::npos) return std::nullopt;

    std::uint64_t at = found + kIdentification.size();
    if (!platform::Seek(source, at)) return failed();
    ByteSource in(source);
    bool lineEnded = false;
    bool lineStart = false;
    for (std::uint8_t c; in.Next(c); ++at) {
        if (lineEnded && lineStart && c == ':') return at;
        lineStart = IsLineBreak(c);
        lineEnded = lineEnded || lineStart;
    }
    if (in.ReadError() != 0) {
        errno = in.ReadError();
        return failed();
    }
    return at;
}

}  // namespace binhex

}  // namespace veskar
