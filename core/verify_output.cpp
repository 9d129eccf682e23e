// SPDX-License-Identifier: Apache-2.0
#include "core/verify_output.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/common/copy_fork.h"
#include "core/finder_info.h"
#include "core/stored_import.h"
#include "core/write/server_name.h"
#include "platform/platform.h"

namespace veskar {

namespace {

constexpr std::size_t kCommentSlot = 200;
constexpr std::size_t kChunk = 128 * 1024;
constexpr std::uint32_t kBlankResourceMap = 286;

// Up to `count` bytes of the fork from `at` on: the count read, -1 after a failed read.
std::int64_t ReadForkAt(const ForkPlace& place, std::uint64_t at, std::uint8_t* into,
                        std::size_t count) {
    const std::uint64_t from = place.offset + at;
    if (from + count <= place.held.size()) {
        std::memcpy(into, place.held.data() + from, count);
        return static_cast<std::int64_t>(count);
    }
    if (place.stream == nullptr) return 0;
    return platform::RawReadAt(platform::RawOf(place.stream), from, into, count);
}

// Whether two forks hold the same bytes. A fork decoded as it was read (a BinHex text in one
// pass) cannot be read again: its length is compared, and its check values, which --verify
// checks as it decodes, vouch for its content.
bool SameFork(const ForkPlace& source, const ForkPlace& back) {
    const std::uint64_t length = BytesAvailable(source);
    if (BytesAvailable(back) != length) return false;
    if (source.reader) return true;
    // A BinHex text read back whole: its check values, checked as it was decoded, vouch for
    // what it holds, which is not kept.
    if (back.stream == nullptr && back.held.empty() && back.reader == nullptr) return true;
    std::vector<std::uint8_t> ours(kChunk), theirs(kChunk);
    for (std::uint64_t at = 0; at < length;) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - at));
        if (ReadForkAt(source, at, ours.data(), count) != static_cast<std::int64_t>(count) ||
            ReadForkAt(back, at, theirs.data(), count) != static_cast<std::int64_t>(count) ||
            !std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(count),
                        theirs.begin()))
            return false;
        at += count;
    }
    return true;
}

// The name read back is the source's, or the unique name the output took ("Name.001"), or the
// source's cut to fit: never one whose characters changed.
bool SameName(std::string_view source, std::string_view back) {
    if (source.empty() || back == source) return true;
    const std::size_t dot = back.find('.');
    for (std::size_t at = dot; at != std::string_view::npos; at = back.find('.', at + 1))
        if (at + 4 <= back.size() &&
            std::string(back.substr(0, at)) + std::string(back.substr(at + 4)) == source)
            return true;
    return source.starts_with(back.substr(0, back.rfind('.')));
}

bool IsWrapping(StoredLayout layout) {
    return layout == StoredLayout::MacBinary || layout == StoredLayout::AppleSingle ||
           layout == StoredLayout::BinHex;
}

// The Finder information as written, as far as the layout holds it: BinHex the type, creator
// and flags; MacBinary those, the icon's place and folder, the script and extended flags.
bool SameFinderInfo(StoredLayout layout, const MacFileDescription& source,
                    const MacFileDescription& back) {
    FinderInformation expected = IsWrapping(layout) ? FinderInfoForAnotherMachine(source.finderInfo)
                                                    : FinderInfoToWrite(source);
    FinderInformation got = back.finderInfo;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool held = layout == StoredLayout::BinHex      ? i < 10
                          : layout == StoredLayout::MacBinary ? i < 16 || i == 24 || i == 25
                                                              : true;
        if (!held) expected[i] = got[i] = 0;
    }
    return expected == got;
}

// Where the system lists no named streams (Wine), an attribute's stream is looked for by the
// name it was written under.
void AddUnlistedStreams(const std::string& path, const MacFileDescription& source,
                        MacFileDescription& back) {
    for (const ExtendedAttribute& attribute : source.extendedAttributes) {
        const bool listed =
            std::any_of(back.extendedAttributes.begin(), back.extendedAttributes.end(),
                        [&](const ExtendedAttribute& got) { return got.name == attribute.name; });
        if (listed) continue;
        std::uint64_t size = 0;
        std::FILE* stream =
            platform::OpenNamedStream(path, PrivateRangeName(attribute.name), &size);
        if (stream == nullptr) continue;
        std::vector<std::uint8_t> value(
            static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 26)));
        const std::int64_t got = value.empty() ? 0
                                               : platform::RawReadAt(platform::RawOf(stream), 0,
                                                                     value.data(), value.size());
        std::fclose(stream);
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            back.extendedAttributes.push_back({attribute.name, std::move(value)});
        }
    }
}

bool LeftOutByName(const std::vector<std::string>& warnings, const std::string& name) {
    const std::string said = "the extended attribute " + name + " was left out";
    return std::any_of(warnings.begin(), warnings.end(),
                       [&](const std::string& warning) { return warning.starts_with(said); });
}

}  // namespace

std::string Differences(StoredLayout layout, const MacFileDescription& source,
                        const MacFileDescription& back, const std::vector<std::string>& leftOut) {
    LayoutKeeps keeps = KeptBy(layout);
    // netatalk 2 keeps everything but the file itself in the header, which a plain file lacks.
    if (layout == StoredLayout::Netatalk2 && !CarriesMacInformation(source)) keeps = {};
    std::vector<std::string> differ;
    if (!SameName(NameAsUtf8(source), NameAsUtf8(back))) differ.push_back("the name");
    if (!SameFork(source.data, back.data)) differ.push_back("the data fork");
    // A "._" file that keeps attributes but no fork holds macOS's empty resource map instead.
    const bool blankMap = layout == StoredLayout::AppleDouble && source.resource.length == 0 &&
                          back.resource.length == kBlankResourceMap;
    if (!blankMap && !SameFork(source.resource, back.resource))
        differ.push_back("the resource fork");
    if (!SameFinderInfo(layout, source, back)) differ.push_back("the Finder information");
    // A date the source has must come back; one it lacks may be given by the layout.
    const auto sameDate = [](std::optional<std::int64_t> had, std::optional<std::int64_t> got) {
        return !had || had == got;
    };
    if ((keeps.modified && !sameDate(source.dates.modified, back.dates.modified)) ||
        (keeps.created && !sameDate(source.dates.created, back.dates.created)) ||
        (keeps.backedUp && !sameDate(source.dates.backedUp, back.dates.backedUp)))
        differ.push_back("the dates");
    if (keeps.comment && back.comment != source.comment.substr(0, kCommentSlot))
        differ.push_back("the comment");
    if (keeps.attributes)
        for (const ExtendedAttribute& attribute : source.extendedAttributes) {
            const auto found = std::find_if(
                back.extendedAttributes.begin(), back.extendedAttributes.end(),
                [&](const ExtendedAttribute& got) { return got.name == attribute.name; });
            if (found == back.extendedAttributes.end() ? !LeftOutByName(leftOut, attribute.name)
                                                       : found->value != attribute.value) {
                differ.push_back("the extended attribute " + attribute.name);
            }
        }
    std::string said;
    for (std::size_t i = 0; i < differ.size(); ++i)
        said += (i == 0 ? "" : i + 1 == differ.size() ? " and " : ", ") + differ[i];
    return said;
}

bool OutputThere(const std::optional<StoredLayout>& layout, std::string_view targetFolder,
                 const MacFileDescription& source, const ImportReport& planned) {
    const std::string name =
        planned.nativeName ? planned.outputName : platform::AnsiToNative(planned.outputName);
    if (name.empty() || platform::FindNativeInCurrentFolder(name) != platform::Found::File)
        return false;
    if (!layout) return true;
    bool equal = false;
    const std::string path = platform::WithTrailingSeparator(std::string(targetFolder)) + name;
    ReadStored(*layout, path, [&](const MacFileReading& reading, const StoredIdentities&) {
        equal =
            !reading.flaw && Differences(*layout, source, reading.file, planned.warnings).empty();
    });
    return equal;
}

ImportResult VerifyOutput(StoredLayout layout, std::string_view targetFolder,
                          const MacFileDescription& source, ImportReport& report) {
    const std::string name =
        report.nativeName ? report.outputName : platform::AnsiToNative(report.outputName);
    const std::string path = platform::WithTrailingSeparator(std::string(targetFolder)) + name;
    std::string differ;
    StoredIdentities files;
    const std::optional<Refusal> refusal =
        ReadStored(layout, path, [&](const MacFileReading& reading, const StoredIdentities& ids) {
            files = ids;
            if (reading.flaw) {
                differ = reading.flaw->detail;
                return;
            }
            MacFileDescription back = reading.file;
            if (layout == StoredLayout::Sfm) AddUnlistedStreams(path, source, back);
            differ = Differences(layout, source, back, report.warnings);
        });
    if (!refusal && differ.empty()) return ImportResult::Converted;
    std::string detail = refusal ? "the output cannot be read back: " + refusal->detail
                                 : "the output read back differs from the source in " + differ;
    // The output goes, "._" file or header first, as it came.
    const std::string header = StoredHeaderPath(layout, name, false);
    if (files.header && !platform::RemovePlacedFile(header, *files.header))
        detail += "; " + header + " could not be removed";
    if (files.data && !platform::RemovePlacedFile(name, *files.data))
        detail += "; " + name + " could not be removed";
    report.detail = std::move(detail);
    report.dataBytes = report.resourceBytes = 0;
    return ImportResult::VerifyFailed;
}

}  // namespace veskar
