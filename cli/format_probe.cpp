#include "cli/format_probe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/conversion_run.h"
#include "containers/appledouble.h"
#include "containers/applesingle.h"
#include "containers/macbinary.h"
#include "platform/platform.h"

namespace cli {

namespace {

constexpr std::array<FormatRow, 5> kFormats{{
    {Format::Auto, "auto", "auto", nullptr},
    {Format::BinHex, "binhex", "BinHex", nullptr},
    {Format::MacBinary, "macbinary", "MacBinary", &ImportMacBinary},
    {Format::AppleSingle, "applesingle", "AppleSingle", &ImportAppleSingle},
    {Format::AppleDouble, "appledouble", "AppleDouble", &ImportAppleDouble},
}};

class OpenFile {
  public:
    explicit OpenFile(const std::string& path) : file_(platform::OpenStream(path, "rb")) {}
    ~OpenFile() {
        if (file_) std::fclose(file_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_;
};

template <std::size_t N>
bool StartsWith(const MacBinaryHeader& head, std::size_t got,
                const std::array<std::uint8_t, N>& magic) {
    return got >= N && std::equal(magic.begin(), magic.end(), head.begin());
}

bool CompanionBesideIsAppleDouble(std::string_view path) {
    OpenFile companion(CompanionPathOf(path));
    if (!companion.get()) return false;
    std::array<std::uint8_t, 4> magic{};
    return std::fread(magic.data(), 1, magic.size(), companion.get()) == magic.size() &&
           magic == kAppleDoubleMagic;
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

bool ContainsBinHexIdentification(std::FILE* stream) {
    // Chunks overlap by one byte less than the text, so a text split across two reads is
    // still found.
    const std::size_t keep = kBinHexIdentification.size() - 1;
    std::vector<char> buffer(64 * 1024);
    std::size_t held = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, stream);
        if (got == 0) return false;
        held += got;
        const std::string_view window(buffer.data(), held);
        if (window.find(kBinHexIdentification) != std::string_view::npos) return true;
        if (held > keep) {
            const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(held);
            std::copy(end - static_cast<std::ptrdiff_t>(keep), end, buffer.begin());
            held = keep;
        }
    }
}

Probe ProbeSource(const std::string& nativePath) {
    OpenFile source(nativePath);
    if (!source.get()) return {Probe::Verdict::CannotOpen, Format::Auto, std::strerror(errno)};

    // The first 128 bytes decide the companion, AppleSingle and MacBinary; a shorter source
    // is tested as if the missing bytes were zero, as the MacBinary import does.
    MacBinaryHeader head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), source.get());
    if (std::ferror(source.get()))
        return {Probe::Verdict::CannotOpen, Format::Auto, "it cannot be read"};

    if (IsAppleDoubleCompanion(nativePath) && StartsWith(head, got, kAppleDoubleMagic))
        return {Probe::Verdict::Companion, Format::AppleDouble, {}};
    if (StartsWith(head, got, kAppleSingleMagic)) return Recognised(Format::AppleSingle);
    const auto size = platform::StreamSize(source.get());
    const std::int64_t length = size ? static_cast<std::int64_t>(*size) : 0;
    if (IsMacBinaryHeader(head, length)) return Recognised(Format::MacBinary);
    // macOS writes a "._" file beside nearly every file it puts on a foreign volume or into
    // a zip archive, BinHex texts included; a text that names itself BinHex at its start is
    // taken as BinHex before the file beside it is looked at.
    const std::string_view headText(reinterpret_cast<const char*>(head.data()), got);
    if (headText.find(kBinHexIdentification) != std::string_view::npos)
        return Recognised(Format::BinHex);
    if (CompanionBesideIsAppleDouble(nativePath)) return Recognised(Format::AppleDouble);

    if (!platform::Seek(source.get(), 0)) return {};
    if (ContainsBinHexIdentification(source.get())) return Recognised(Format::BinHex);
    return {};
}

}  // namespace cli
