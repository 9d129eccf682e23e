// SPDX-License-Identifier: Apache-2.0
#include "core/formats.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/common/c_stream.h"
#include "core/common/joined_words.h"
#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/binhex/binhex_format.h"
#include "core/read/macbinary.h"
#include "core/stored_import.h"
#include "platform/platform.h"

namespace veskar {

namespace formats {

namespace {

ProbeAnswer Answer(bool yes) {
    return yes ? ProbeAnswer::Yes : ProbeAnswer::No;
}

// The window reads what the Parts name; the command line, without --strict, every variant.
ReadOptions ReadOptionsOf(const ProbeRules& rules) {
    return {.everyVariant = !rules.strict};
}

ProbeAnswer ProbeAppleSingle(const ProbeInput& input, std::string&) {
    return Answer(IsAppleSingleStart(input.head, ReadOptionsOf(input.rules)));
}

ProbeAnswer ProbeMacBinary(const ProbeInput& input, std::string&) {
    // A shorter source is tested as if the missing bytes were zero, as the import does.
    MacBinaryHeader header{};
    std::copy(input.head.begin(), input.head.end(), header.begin());
    return Answer(IsMacBinaryHeader(header, static_cast<std::int64_t>(input.size)));
}

// macOS writes a "._" file beside nearly every file it puts on a foreign volume or into a zip
// archive, BinHex texts included; a text that names itself BinHex where the BinHex import
// looks for it is taken as BinHex before that companion.
ProbeAnswer ProbeBinHex(const ProbeInput& input, std::string& failure) {
    const binhex::Start rule =
        input.rules.strict ? binhex::Start::FirstColon : binhex::Start::LineAfterIdentification;
    if (binhex::FindDataStart(input.stream, rule, &failure)) return ProbeAnswer::Yes;
    return failure.empty() ? ProbeAnswer::No : ProbeAnswer::ReadFailed;
}

// A data file is AppleDouble when its companion ("._NAME", or with every variant "%NAME" or
// "NAME.rsrc") starts with the AppleDouble magic. A companion that cannot be opened is none.
ProbeAnswer ProbeAppleDouble(const ProbeInput& input, std::string& failure) {
    const ReadOptions options = ReadOptionsOf(input.rules);
    const std::vector<std::string> paths =
        input.rules.companionPath.empty() ? AppleDoubleCompanionPaths(input.path, options)
                                          : std::vector<std::string>{input.rules.companionPath};
    for (const std::string& path : paths) {
        const CStream companion(platform::OpenStream(path, "rb"));
        if (!companion) continue;
        std::array<std::uint8_t, 4> magic{};
        const std::size_t got = std::fread(magic.data(), 1, magic.size(), companion.get());
        if (std::ferror(companion.get())) {
            failure = ReadFailure("its companion " + path);
            return ProbeAnswer::ReadFailed;
        }
        // The first companion there decides, as the import reads that one.
        return Answer(IsAppleDoubleStart(std::span(magic).first(got), options));
    }
    return ProbeAnswer::No;
}

// What a companion's data file is: a folder (its companion is then the folder's information),
// a file, or nothing.
enum class Counterpart { Nothing, File, Folder };
Counterpart CounterpartOf(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(platform::PathOfNative(path), error);
    if (std::filesystem::is_directory(status)) return Counterpart::Folder;
    return std::filesystem::exists(status) ? Counterpart::File : Counterpart::Nothing;
}

ImportResult BinHexImport(std::string_view target, std::string_view source,
                          const ImportRequest& request, ImportReport& report, Probe*) {
    return ImportBinHex(target, source, request, report);
}

// A source the probe recognised by its first bytes is read through the stream it opened, and
// the bytes it read are not read again.
ImportResult MacBinaryImport(std::string_view target, std::string_view source,
                             const ImportRequest& request, ImportReport& report, Probe* probe) {
    if (!probe || !probe->source) return ImportMacBinary(target, source, request, report);
    const OpenedSource opened{probe->source.get(),
                              {std::span(probe->head.get(), probe->headLength), probe->size}};
    return ImportMacBinary(target, source, request, report, &opened);
}

ImportResult AppleSingleImport(std::string_view target, std::string_view source,
                               const ImportRequest& request, ImportReport& report, Probe*) {
    return ImportAppleSingle(target, source, request, report);
}

ImportResult AppleDoubleImport(std::string_view target, std::string_view source,
                               const ImportRequest& request, ImportReport& report, Probe*) {
    return ImportAppleDouble(target, source, request, report);
}

// A server layout's source: its stored file, read as the layout keeps it.
template <StoredLayout layout>
ImportResult StoredImport(std::string_view target, std::string_view source,
                          const ImportRequest& request, ImportReport& report, Probe*) {
    return ImportStored(layout, target, source, request, report);
}

// An HFS image holds a volume of files, which a walk of it reads (-r).
ImportResult HfsImageImport(std::string_view, std::string_view, const ImportRequest&,
                            ImportReport& report, Probe*) {
    report.detail = "an HFS image holds a whole volume: read it with -r -f hfs";
    return ImportResult::WrongKind;
}

// The user attributes' names of the probed file.
std::vector<std::string> AttributeNames(const ProbeInput& input) {
    std::vector<std::string> names;
    if (!input.stream) return names;
    if (auto attributes = platform::UserAttributesOf(platform::RawOf(input.stream)))
        for (auto& [name, value] : *attributes)
            names.push_back(std::move(name));
    return names;
}

bool HasStreamAttribute(const std::vector<std::string>& names, std::string_view stream) {
    return std::find(names.begin(), names.end(), "DosStream." + std::string(stream) + ":$DATA") !=
           names.end();
}

// Samba's and netatalk's layout: netatalk's metadata attribute on the data file.
ProbeAnswer ProbeFruit(const ProbeInput& input, std::string&) {
    if (input.rules.strict) return ProbeAnswer::No;
    const std::vector<std::string> names = AttributeNames(input);
    return Answer(std::find(names.begin(), names.end(), "org.netatalk.Metadata") != names.end());
}

// Samba's stream attributes holding the Finder information or the resource fork.
ProbeAnswer ProbeStreamsXattr(const ProbeInput& input, std::string&) {
    if (input.rules.strict) return ProbeAnswer::No;
    const std::vector<std::string> names = AttributeNames(input);
    return Answer(HasStreamAttribute(names, "AFP_AfpInfo") ||
                  HasStreamAttribute(names, "AFP_Resource"));
}

// NTFS streams of Services for Macintosh.
ProbeAnswer ProbeSfm(const ProbeInput& input, std::string&) {
    if (input.rules.strict) return ProbeAnswer::No;
    const std::vector<std::string> streams = platform::NamedStreamsOf(input.path);
    return Answer(std::find_if(streams.begin(), streams.end(), [](const std::string& name) {
                      return name == "AFP_AfpInfo" || name == "AFP_Resource";
                  }) != streams.end());
}

// netatalk 2: the file's header in ".AppleDouble" beside it.
ProbeAnswer ProbeNetatalk2(const ProbeInput& input, std::string&) {
    if (input.rules.strict) return ProbeAnswer::No;
    const CStream header(
        platform::OpenStream(StoredHeaderPath(StoredLayout::Netatalk2, input.path, false), "rb"));
    if (!header) return ProbeAnswer::No;
    std::array<std::uint8_t, 4> magic{};
    const std::size_t got = std::fread(magic.data(), 1, magic.size(), header.get());
    return Answer(IsAppleDoubleStart(std::span(magic).first(got), {.everyVariant = true}));
}

constexpr std::array<FormatRow, 10> kFormats{{
    {Format::Auto, "auto", "auto", nullptr, nullptr, ProbeCost::Head},
    {Format::BinHex, "binhex", "BinHex", &BinHexImport, &ProbeBinHex, ProbeCost::Search},
    {Format::MacBinary, "macbinary", "MacBinary", &MacBinaryImport, &ProbeMacBinary,
     ProbeCost::Head, ProbeCertainty::Likely},
    {Format::AppleSingle, "applesingle", "AppleSingle", &AppleSingleImport, &ProbeAppleSingle,
     ProbeCost::Head},
    {Format::AppleDouble, "appledouble", "AppleDouble", &AppleDoubleImport, &ProbeAppleDouble,
     ProbeCost::OtherFile},
    {Format::Sfm, "sfm", "Services for Macintosh on NTFS", &StoredImport<StoredLayout::Sfm>,
     &ProbeSfm, ProbeCost::Attributes},
    {Format::Fruit, "fruit", "Samba and netatalk", &StoredImport<StoredLayout::Fruit>, &ProbeFruit,
     ProbeCost::Attributes},
    {Format::StreamsXattr, "streams-xattr", "Samba's stream attributes",
     &StoredImport<StoredLayout::StreamsXattr>, &ProbeStreamsXattr, ProbeCost::Attributes,
     ProbeCertainty::Likely},
    {Format::Netatalk2, "netatalk2", "netatalk 2", &StoredImport<StoredLayout::Netatalk2>,
     &ProbeNetatalk2, ProbeCost::OtherFile, ProbeCertainty::Likely},
    // Never probed: an image is named as one with -f hfs.
    {Format::Hfs, "hfs", "an HFS disk image (with -r)", &HfsImageImport, nullptr, ProbeCost::Head},
}};

// The formats with a probe, cheapest first; among equal costs, the surer first.
constexpr std::array<Format, 8> kProbeOrder = [] {
    std::array<Format, 8> order{};
    std::size_t next = 0;
    for (const ProbeCost cost :
         {ProbeCost::Head, ProbeCost::Search, ProbeCost::Attributes, ProbeCost::OtherFile})
        for (const ProbeCertainty certainty : {ProbeCertainty::Sure, ProbeCertainty::Likely})
            for (const FormatRow& row : kFormats)
                if (row.probe && row.cost == cost && row.certainty == certainty)
                    order[next++] = row.format;
    return order;
}();

Probe ReadFailed(std::string detail) {
    return {Probe::Verdict::ReadFailed, Format::Auto, std::move(detail), {}, {}, 0, 0};
}

}  // namespace

const std::array<FormatRow, 10>& Formats() {
    return kFormats;
}

bool IsLayout(Format format) {
    return format == Format::Sfm || format == Format::Fruit || format == Format::StreamsXattr ||
           format == Format::Netatalk2;
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

std::string FormatWords(std::string_view lastJoin) {
    return JoinedWords(kFormats, lastJoin);
}

std::optional<std::string> FolderOfCompanion(const std::string& nativePath,
                                             const ProbeRules& rules) {
    const std::optional<std::string> counterpart =
        DataFileOfCompanion(nativePath, ReadOptionsOf(rules));
    if (!counterpart || CounterpartOf(*counterpart) != Counterpart::Folder) return std::nullopt;
    return counterpart;
}

Probe ProbeSource(const std::string& nativePath, const ProbeRules& rules) {
    std::uint64_t size = 0;
    CStream source(platform::OpenSource(nativePath, size));
    if (!source)
        return {Probe::Verdict::CannotOpen, Format::Auto, std::strerror(errno), {}, {}, 0, 0};

    // The first bytes are read beneath the stream, which keeps it untouched for an import
    // that takes it over; as many as the size says, and at least as many as the probes look at
    // (a file of the kernel's, say, tells no size). When that read fails, the probes' bytes
    // alone are read: a failure further on is the import's to tell, in its own words.
    std::size_t want =
        std::max(kMacBinaryHeaderSize,
                 static_cast<std::size_t>(std::min<std::uint64_t>(size, kProbeReadSize)));
    auto head = std::make_unique_for_overwrite<std::uint8_t[]>(want);
    const platform::RawFile raw = platform::RawOf(source.get());
    std::size_t got = 0;
    while (got < want) {
        const std::int64_t read = platform::RawReadAt(raw, got, head.get() + got, want - got);
        if (read < 0 && want > kMacBinaryHeaderSize) {
            want = std::max(got, kMacBinaryHeaderSize);
            continue;
        }
        if (read < 0) return ReadFailed(ReadFailure("its first bytes"));
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    const ProbeInput input{.head = std::span(head.get(), std::min(got, kMacBinaryHeaderSize)),
                           .size = size,
                           .stream = source.get(),
                           .path = nativePath,
                           .rules = rules};

    // A companion is read with its data file; one of a folder is the folder's information.
    // Under "%NAME" and "NAME.rsrc" it is one only beside the file it belongs to.
    const ReadOptions options = ReadOptionsOf(rules);
    if (const auto dataFile = DataFileOfCompanion(nativePath, options);
        dataFile && IsAppleDoubleStart(input.head, options)) {
        const Counterpart counterpart = CounterpartOf(*dataFile);
        if (counterpart == Counterpart::Folder && !rules.strict)
            return {Probe::Verdict::FolderInformation, Format::AppleDouble, {}, {}, {}, 0, 0};
        if (counterpart != Counterpart::Nothing || IsAppleDoubleCompanion(nativePath))
            return {Probe::Verdict::Companion, Format::AppleDouble, {}, {}, {}, 0, 0};
    }
    for (const Format format : kProbeOrder) {
        std::string failure;
        switch (RowOf(format).probe(input, failure)) {
            case ProbeAnswer::Yes: {
                Probe probe{Probe::Verdict::Recognised, format, {}, {}, {}, 0, 0};
                if (RowOf(format).cost == ProbeCost::Head) {
                    std::setvbuf(source.get(), nullptr, _IONBF, 0);
                    probe.source = std::move(source);
                    probe.head = std::move(head);
                    probe.headLength = got;
                    probe.size = input.size;
                }
                return probe;
            }
            case ProbeAnswer::ReadFailed:
                return ReadFailed(std::move(failure));
            case ProbeAnswer::No:
                break;
        }
    }
    return {};
}

}  // namespace formats

}  // namespace veskar
