#include "cli/format_probe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/conversion_run.h"
#include "binhex/binhex_check.h"
#include "binhex/binhex_staging.h"
#include "containers/appledouble.h"
#include "containers/applesingle.h"
#include "containers/c_stream.h"
#include "containers/macbinary.h"
#include "platform/platform.h"

namespace cli {

namespace {

constexpr std::array<FormatRow, 5> kFormats{{
    {Format::Auto, "auto", "auto", nullptr},
    {Format::BinHex, "binhex", "BinHex", &ImportBinHex},
    {Format::MacBinary, "macbinary", "MacBinary", &ImportMacBinary},
    {Format::AppleSingle, "applesingle", "AppleSingle", &ImportAppleSingle},
    {Format::AppleDouble, "appledouble", "AppleDouble", &ImportAppleDouble},
}};

template <std::size_t N>
bool StartsWith(const MacBinaryHeader& head, std::size_t got,
                const std::array<std::uint8_t, N>& magic) {
    return got >= N && std::equal(magic.begin(), magic.end(), head.begin());
}

// Whether the file at `path` starts with the AppleDouble magic; nullopt when a read of it
// failed (errno tells why). A file that cannot be opened is none.
std::optional<bool> CompanionIsAppleDouble(const std::string& path) {
    const CStream companion(platform::OpenStream(path, "rb"));
    if (!companion) return false;
    std::array<std::uint8_t, 4> magic{};
    const std::size_t got = std::fread(magic.data(), 1, magic.size(), companion.get());
    if (std::ferror(companion.get())) return std::nullopt;
    return got == magic.size() && magic == kAppleDoubleMagic;
}

Probe ReadFailed(std::string detail) {
    return {Probe::Verdict::ReadFailed, Format::Auto, std::move(detail)};
}

Probe Recognised(Format format) {
    return {Probe::Verdict::Recognised, format, {}};
}

}  // namespace

const std::array<FormatRow, 5>& Formats() {
    return kFormats;
}

const FormatRow& RowOf(Format format) {
    for (const auto& row : kFormats)
        if (row.format == format) return row;
    return kFormats[0];
}

std::optional<Format> FormatFromWord(std::string_view word) {
    for (const auto& row : kFormats)
        if (row.word == word) return row.format;
    return std::nullopt;
}

std::string CompanionPathOf(std::string_view path) {
    return AppleDoubleCompanionPath(path);
}

Probe ProbeSource(const std::string& nativePath, const ProbeRules& rules) {
    const CStream source(platform::OpenStream(nativePath, "rb"));
    if (!source) return {Probe::Verdict::CannotOpen, Format::Auto, std::strerror(errno)};

    // The first 128 bytes decide the companion, AppleSingle and MacBinary; a shorter source
    // is tested as if the missing bytes were zero, as the MacBinary import does.
    MacBinaryHeader head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), source.get());
    if (std::ferror(source.get())) return ReadFailed(ReadFailure("its first bytes"));

    if (IsAppleDoubleCompanion(nativePath) && StartsWith(head, got, kAppleDoubleMagic))
        return {Probe::Verdict::Companion, Format::AppleDouble, {}};
    if (StartsWith(head, got, kAppleSingleMagic)) return Recognised(Format::AppleSingle);
    const auto size = platform::StreamSize(source.get());
    const std::int64_t length = size ? static_cast<std::int64_t>(*size) : 0;
    if (IsMacBinaryHeader(head, length)) return Recognised(Format::MacBinary);
    // macOS writes a "._" file beside nearly every file it puts on a foreign volume or into
    // a zip archive, BinHex texts included; a text that names itself BinHex where the BinHex
    // import looks for it is taken as BinHex before that companion.
    const binhex::Start rule =
        rules.strict ? binhex::Start::FirstColon : binhex::Start::LineAfterIdentification;
    std::string readFailure;
    if (binhex::FindDataStart(source.get(), rule, &readFailure)) return Recognised(Format::BinHex);
    if (!readFailure.empty()) return ReadFailed(std::move(readFailure));
    const std::string companionPath =
        rules.companionPath.empty() ? CompanionPathOf(nativePath) : rules.companionPath;
    const std::optional<bool> companion = CompanionIsAppleDouble(companionPath);
    if (!companion) return ReadFailed(ReadFailure("its companion " + companionPath));
    if (*companion) return Recognised(Format::AppleDouble);
    return {};
}

}  // namespace cli
