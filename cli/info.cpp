// SPDX-License-Identifier: Apache-2.0
#include "cli/info.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/batch.h"
#include "cli/image_walk.h"
#include "cli/report.h"
#include "cli/run.h"
#include "core/common/c_stream.h"
#include "core/common/charsets.h"
#include "core/common/copy_fork.h"
#include "core/common/mac_time.h"
#include "core/finder_info.h"
#include "core/formats.h"
#include "core/hfs/hfs_volume.h"
#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/read/macbinary.h"
#include "core/stored_import.h"
#include "core/write/output_writer.h"
#include "platform/platform.h"

namespace veskar {

namespace cli {

namespace {

using formats::Probe;

// What --info tells of one source.
struct SourceInfo {
    enum class Kind {
        Described,  // the fields below say what it carries
        Failed,     // `result` and `detail` say why it could not be described
        NotMac,     // found in a walk and no Mac file: a line of its own, not a failure
        Link,       // a symbolic link met in a walk, not followed
        Companion,  // read with its data file: no entry of its own
    };
    Kind kind = Kind::Failed;
    std::string source;  // as given, or the folder given and the path below it
    ImportResult result = ImportResult::WrongKind;
    std::string detail;

    std::string format;  // the format's title: "MacBinary II", "AppleDouble", ...
    bool folder = false;
    std::string name;  // UTF-8; empty when the source carries none
    FinderInformation finderInfo{};
    MacDates dates;
    std::uint64_t dataBytes = 0, resourceBytes = 0;
    std::string comment;                  // UTF-8
    std::vector<std::string> attributes;  // the extended attributes' names, UTF-8
    std::string shortfall;                // what the source lacks of what it states
};

// The writer an import is handed: it keeps what the description says and writes nothing. In
// a trial run the import asks its Plan; a folder's information reaches WriteFolder. The forks
// are measured as a copy would find them, but not read.
class RecordingWriter final : public OutputWriter {
  public:
    explicit RecordingWriter(SourceInfo& info) : info_(info) {}
    TargetNeeds Needs() const override { return TargetNeeds::Nothing; }
    ImportResult Plan(const MacFileDescription& file, std::string_view, bool,
                      ImportReport&) const override {
        return Record(file);
    }
    ImportResult Write(const MacFileDescription& file, std::string_view,
                       ImportReport&) const override {
        return Record(file);
    }
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string&,
                             ImportReport&) const override {
        return Record(folder);
    }
    bool Recorded() const { return recorded_; }

  private:
    ImportResult Record(const MacFileDescription& file) const {
        info_.name = NameAsUtf8(file);
        info_.finderInfo = file.finderInfo;
        info_.dates = file.dates;
        info_.comment = charsets::MacRomanToUtf8(file.comment);
        info_.attributes.clear();
        for (const ExtendedAttribute& attribute : file.extendedAttributes)
            info_.attributes.push_back(attribute.name);
        info_.folder = file.folder;
        if (!file.folder) {
            info_.dataBytes = BytesAvailable(file.data);
            info_.resourceBytes = BytesAvailable(file.resource);
        }
        info_.shortfall = ShortfallOf(file);
        recorded_ = true;
        return ImportResult::Converted;
    }
    SourceInfo& info_;
    mutable bool recorded_ = false;
};

constexpr std::string_view kNoMacFormat = "not MacBinary, AppleSingle, AppleDouble or BinHex";

// The title of the format a source was read in; MacBinary with its version, which the first
// 128 bytes tell (`head`, or read here when the probe kept none).
std::string FormatTitle(formats::Format format, const std::string& path, const Probe& probe) {
    if (format == Format::BinHex) return "BinHex 4.0";
    const std::string title(formats::RowOf(format).title);
    if (format != Format::MacBinary) return title;
    MacBinaryHeader header{};
    if (probe.head && probe.headLength >= header.size()) {
        std::copy_n(probe.head.get(), header.size(), header.begin());
    } else {
        const CStream file(platform::OpenStream(path, "rb"));
        if (!file || std::fread(header.data(), 1, header.size(), file.get()) != header.size())
            return title;
    }
    using namespace macbinary;
    if (std::equal(kSignatureIII.begin(), kSignatureIII.end(), header.begin() + kSignatureAt))
        return title + " III";
    return title + (CheckMacBinaryHeaderCrc(header) == HeaderCrc::NotCarried ? " I" : " II");
}

struct Reading {
    const Options& options;
    std::string here;  // the current folder, which the imports are handed as their target
    std::optional<StoredLayout> treeLayout;
    const std::vector<std::string>& sources;  // absolute

    ImportRequest RequestFor(const RecordingWriter& writer, const std::string& companion,
                             DryRun dryRun) const {
        return {
            .writer = &writer,
            .dryRun = dryRun,
            .verify = false,
            .binhexStart =
                options.strict ? binhex::Start::FirstColon : binhex::Start::LineAfterIdentification,
            .binhexOnePass = !options.strict,
            .companionPath = companion,
            .read = {.everyVariant = !options.strict},
            .readBack = std::nullopt,
            .skipExisting = false,
        };
    }

    bool Named(const std::string& source) const {
        return std::find(sources.begin(), sources.end(), source) != sources.end();
    }
};

// What an import did with the recording writer: described, or why not.
void Settle(SourceInfo& info, const RecordingWriter& writer, ImportResult result,
            ImportReport& report) {
    if (writer.Recorded() &&
        (result == ImportResult::Converted || result == ImportResult::Truncated)) {
        info.kind = SourceInfo::Kind::Described;
        return;
    }
    info.kind = SourceInfo::Kind::Failed;
    info.result = result;
    info.detail = std::move(report.detail);
}

// A folder's own information, read by `import` with a request that reaches WriteFolder.
template <typename Import>
SourceInfo DescribeFolder(const Reading& reading, const Job& job, std::string format,
                          const Import& import) {
    SourceInfo info;
    info.source = job.given;
    info.format = std::move(format);
    const RecordingWriter writer(info);
    ImportRequest request = reading.RequestFor(writer, {}, DryRun::Off);
    request.read.everyVariant = true;
    ImportReport report;
    Settle(info, writer, import(request, report), report);
    return info;
}

// The name of the folder whose own information the job's source is (a "._" file beside it or
// under "__MACOSX"), as run.cpp finds it for a conversion; nullopt for any other source.
std::optional<std::string> InformationOf(const Reading& reading, const Job& job,
                                         const Probe& probe) {
    if (reading.options.strict || reading.treeLayout) return std::nullopt;
    if (!job.informationOf.empty()) return job.informationOf;
    if (probe.verdict != Probe::Verdict::FolderInformation &&
        reading.options.format != Format::AppleDouble)
        return std::nullopt;
    const std::optional<std::string> folder = formats::FolderOfCompanion(job.source);
    if (!folder) return std::nullopt;
    return folder->substr(platform::FileNameStart(*folder));
}

SourceInfo DescribeFile(const Reading& reading, const Job& job) {
    const Options& options = reading.options;
    SourceInfo info;
    info.source = job.given;
    const bool named = reading.Named(job.source);
    Format format = options.format;
    Probe probe;
    if (format == Format::Auto && job.informationOf.empty())
        probe = formats::ProbeSource(job.source,
                                     {.strict = options.strict, .companionPath = job.companion});
    if (const std::optional<std::string> folder = InformationOf(reading, job, probe))
        return DescribeFolder(
            reading, job, "AppleDouble", [&](const ImportRequest& request, ImportReport& report) {
                return ImportFolderInformation(reading.here, *folder, job.source, request, report);
            });

    // A companion is read with its data file; one named alone, without it, is no source.
    const auto companion = [&] {
        info.kind = SourceInfo::Kind::Companion;
        const std::size_t nameAt = platform::FileNameStart(job.source);
        const std::string dataFile = job.source.substr(0, nameAt) +
                                     job.source.substr(std::min(nameAt + 2, job.source.size()));
        if (named && job.source.compare(nameAt, 2, "._") == 0 && !reading.Named(dataFile)) {
            const std::string dataName = job.source.substr(nameAt + 2);
            info.kind = SourceInfo::Kind::Failed;
            info.result = ImportResult::WrongKind;
            info.detail = "this is the companion of " + dataName + ": give " + dataName;
        }
        return info;
    };
    if ((format == Format::AppleDouble || format == Format::Fruit) &&
        IsAppleDoubleCompanion(job.source))
        return companion();
    if (format == Format::Auto) {
        switch (probe.verdict) {
            case Probe::Verdict::CannotOpen:
                info.result = ImportResult::CannotOpen;
                info.detail = std::move(probe.detail);
                return info;
            case Probe::Verdict::ReadFailed:
                info.result = ImportResult::ReadFailed;
                info.detail = std::move(probe.detail);
                return info;
            case Probe::Verdict::Companion:
            case Probe::Verdict::FolderInformation:
                return companion();
            case Probe::Verdict::Nothing:
                info.kind = named ? SourceInfo::Kind::Failed : SourceInfo::Kind::NotMac;
                info.result = ImportResult::WrongKind;
                info.detail = std::string(kNoMacFormat);
                return info;
            case Probe::Verdict::Recognised:
                format = probe.format;
                break;
        }
    }
    info.format = FormatTitle(format, job.source, probe);
    const RecordingWriter writer(info);
    const ImportRequest request = reading.RequestFor(writer, job.companion, DryRun::IntoFolder);
    ImportReport report;
    const formats::FormatRow& row = formats::RowOf(format);
    const ImportResult result =
        reading.treeLayout && format == Format::AppleDouble
            ? ImportStored(StoredLayout::AppleDouble, reading.here, job.source, request, report)
            : row.import(reading.here, job.source, request, report,
                         probe.source ? &probe : nullptr);
    Settle(info, writer, result, report);
    if (info.kind == SourceInfo::Kind::Failed &&
        (result == ImportResult::WrongKind || result == ImportResult::NotBinHex)) {
        if (result == ImportResult::WrongKind && info.detail.empty())
            info.detail = "not a " + std::string(row.title) + " file";
        if (!named) info.kind = SourceInfo::Kind::NotMac;
    }
    return info;
}

SourceInfo Describe(const Reading& reading, const Job& job) {
    if (job.failed) {
        SourceInfo info;
        info.source = job.given;
        info.result = job.failed->result;
        info.detail = job.failed->report.detail;
        return info;
    }
    if (job.link || job.zipCompanion) {
        SourceInfo info;
        info.source = job.given;
        info.kind = job.link ? SourceInfo::Kind::Link : SourceInfo::Kind::Companion;
        return info;
    }
    if (job.isFolder)
        return DescribeFolder(
            reading, job, std::string(formats::RowOf(reading.options.format).title),
            [&](const ImportRequest& request, ImportReport& report) {
                return ImportStoredFolder(*reading.treeLayout, reading.here, job.informationOf,
                                          job.source, request, report);
            });
    return DescribeFile(reading, job);
}

// --- What is printed ------------------------------------------------------------------------

struct FlagName {
    std::uint16_t bits;
    std::string_view name;
};
// The Finder's flags, the highest bit first; the three colour bits hold a number ("color 2").
constexpr std::uint16_t kColorBits = 0x000E;
constexpr std::array<FlagName, 11> kFlagNames{{
    {0x8000, "alias"},
    {0x4000, "invisible"},
    {0x2000, "bundle"},
    {0x1000, "name locked"},
    {0x0800, "stationery"},
    {0x0400, "custom icon"},
    {0x0100, "inited"},
    {0x0080, "no INITs"},
    {0x0040, "shared"},
    {kColorBits, "color"},
    {0x0001, "on desk"},
}};

std::string TypeCreatorOf(const FinderInformation& info, std::size_t at) {
    TypeCreator codes;
    std::copy_n(info.begin(), codes.size(), codes.begin());
    return FourCharCode(codes, at);
}

// The type or the creator for people: "none" where the other alone is set.
std::string ShownCode(const FinderInformation& info, std::size_t at) {
    const std::string code = TypeCreatorOf(info, at);
    return code.empty() ? "none" : code;
}

bool Typed(const FinderInformation& info) {
    return std::any_of(info.begin(), info.begin() + 8, [](std::uint8_t byte) { return byte != 0; });
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : ", ") + text;
    return joined;
}

// "2001-03-04T05:06:07Z" as people read it: "2001-03-04 05:06:07 UTC".
std::string TextDate(std::int64_t seconds) {
    std::string date = mac_time::Iso8601(seconds);
    std::replace(date.begin(), date.end(), 'T', ' ');
    if (date.ends_with('Z')) date.replace(date.size() - 1, 1, " UTC");
    return date;
}

std::string ByteCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

using DateField = std::pair<std::string_view, const std::optional<std::int64_t>&>;
std::array<DateField, 3> DatesOf(const SourceInfo& info, bool json) {
    return {{{"created", info.dates.created},
             {"modified", info.dates.modified},
             {json ? "backed_up" : "backed up", info.dates.backedUp}}};
}

// The values start one space after the longest label, "  resource fork:".
constexpr std::size_t kValueColumn = 17;

// One block: the source, then a line for each thing it carries, the values in one column.
std::string InfoText(const SourceInfo& info) {
    switch (info.kind) {
        case SourceInfo::Kind::NotMac:
            return info.source + ": " + std::string(DescribeResult(info.result).message) + "\n";
        case SourceInfo::Kind::Link:
            return info.source + ": a symbolic link, not followed\n";
        case SourceInfo::Kind::Described:
            break;
        default:
            return {};
    }
    std::string text = info.source + "\n";
    const auto line = [&text](std::string_view label, const std::string& value) {
        std::string head = "  " + std::string(label) + ":";
        head.resize(std::max(head.size() + 1, kValueColumn), ' ');
        text += head + value + "\n";
    };
    line("format", info.format + (info.folder ? " (folder)" : ""));
    if (!info.name.empty()) line("name", platform::Utf8ToNative(info.name));
    if (!info.folder)
        line("type", Typed(info.finderInfo) ? ShownCode(info.finderInfo, 0) +
                                                  "   creator: " + ShownCode(info.finderInfo, 4)
                                            : "no type");
    const std::uint16_t flags = FinderFlags(info.finderInfo);
    const std::vector<std::string> names = FinderFlagNames(flags);
    line("flags", (names.empty() ? "none" : Joined(names)) + " (0x" + HexWord(flags) + ")");
    for (const auto& [label, date] : DatesOf(info, false))
        if (date) line(label, TextDate(*date));
    if (info.dataBytes != 0) line("data fork", ByteCount(info.dataBytes));
    if (info.resourceBytes != 0) line("resource fork", ByteCount(info.resourceBytes));
    if (!info.comment.empty()) line("comment", platform::Utf8ToNative(JsonString(info.comment)));
    if (!info.attributes.empty())
        line("attributes", platform::Utf8ToNative(Joined(info.attributes)));
    if (!info.shortfall.empty()) line("truncated", platform::Utf8ToNative(info.shortfall));
    return text;
}

std::string JsonList(const std::vector<std::string>& utf8Texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < utf8Texts.size(); ++i)
        list += (i ? ", " : "") + JsonString(utf8Texts[i]);
    return list + "]";
}

std::string InfoJson(const SourceInfo& info) {
    std::string line = "{\"source\": " + JsonString(platform::NativeToUtf8(info.source));
    if (info.kind == SourceInfo::Kind::Link)
        return line + ", \"result\": \"link-skipped\", \"code\": 0}";
    if (info.kind != SourceInfo::Kind::Described) {
        line += ", \"result\": " + JsonString(DescribeResult(info.result).word) +
                ", \"code\": " + std::to_string(static_cast<int>(info.result));
        if (!info.detail.empty())
            line += ", \"detail\": " + JsonString(platform::NativeToUtf8(info.detail));
        return line + "}";
    }
    line += ", \"format\": " + JsonString(info.format);
    if (info.folder) line += ", \"folder\": true";
    if (!info.name.empty()) line += ", \"name\": " + JsonString(info.name);
    if (!info.folder)
        line += ", \"type\": " + JsonString(TypeCreatorOf(info.finderInfo, 0)) +
                ", \"creator\": " + JsonString(TypeCreatorOf(info.finderInfo, 4));
    const std::uint16_t flags = FinderFlags(info.finderInfo);
    line += ", \"finder_flags\": " + JsonString(HexWord(flags)) +
            ", \"flag_names\": " + JsonList(FinderFlagNames(flags));
    for (const auto& [label, date] : DatesOf(info, true))
        if (date)
            line += ", \"" + std::string(label) + "\": " + JsonString(mac_time::Iso8601(*date));
    if (!info.folder)
        line += ", \"data_bytes\": " + std::to_string(info.dataBytes) +
                ", \"resource_bytes\": " + std::to_string(info.resourceBytes);
    if (!info.comment.empty()) line += ", \"comment\": " + JsonString(info.comment);
    if (!info.attributes.empty()) line += ", \"attributes\": " + JsonList(info.attributes);
    if (!info.shortfall.empty()) line += ", \"shortfall\": " + JsonString(info.shortfall);
    return line + "}";
}

}  // namespace

std::vector<std::string> FinderFlagNames(std::uint16_t flags) {
    std::vector<std::string> names;
    std::uint16_t named = 0;
    for (const FlagName& flag : kFlagNames) {
        named |= flag.bits;
        const unsigned set = flags & flag.bits;
        if (set == 0) continue;
        if (flag.bits == kColorBits)
            names.push_back(std::string(flag.name) + " " + std::to_string(set >> 1));
        else
            names.emplace_back(flag.name);
    }
    for (unsigned bit = 0x8000; bit != 0; bit >>= 1)
        if ((flags & bit) && !(named & bit))
            names.push_back("0x" + HexWord(static_cast<std::uint16_t>(bit)));
    return names;
}

namespace {

// Every file and folder of an HFS image, as its catalog holds them.
void ShowImage(const std::string& image, const std::string& given,
               const std::function<void(const SourceInfo&)>& show) {
    std::string why;
    const std::unique_ptr<hfs::Volume> volume = hfs::Volume::Open(image, false, why);
    if (!volume) {
        SourceInfo info;
        info.source = given;
        info.result = std::filesystem::exists(platform::PathOfNative(image))
                          ? ImportResult::WrongKind
                          : ImportResult::CannotOpen;
        info.detail = why;
        show(info);
        return;
    }
    ImageWalk walk(*volume, given);
    while (const std::optional<ImageJob> job = walk.Next()) {
        const hfs::Entry& entry = job->entry;
        SourceInfo info;
        info.kind = SourceInfo::Kind::Described;
        info.source = job->given;
        info.format = entry.folder ? "HFS volume (folder)" : "HFS volume";
        info.folder = entry.folder;
        info.name = charsets::MacRomanToUtf8(entry.name);
        std::copy(entry.finder.begin(), entry.finder.end(), info.finderInfo.begin());
        info.dates = {mac_time::From1904(entry.dates.created),
                      mac_time::From1904(entry.dates.modified),
                      mac_time::From1904(entry.dates.backedUp)};
        info.dataBytes = entry.dataLength;
        info.resourceBytes = entry.resourceLength;
        show(info);
    }
}

}  // namespace

int ShowInfo(const Options& options, std::ostream& out, std::ostream& err) {
    const std::string start = platform::CurrentFolder();
    std::vector<std::string> sources;
    sources.reserve(options.sources.size());
    for (const std::string& source : options.sources)
        sources.push_back(AbsolutePath(source, start));
    const Reading reading{options, start, TreeLayoutOf(options.format, options.recursive), sources};
    // Every import enters its target folder: the current one, so it stays where it was. The
    // run holds it throughout, as a trial run does.
    bool failed = false;
    bool first = true;
    const auto show = [&](const SourceInfo& info) {
        if (info.kind == SourceInfo::Kind::Companion) return;
        if (info.kind == SourceInfo::Kind::Failed) {
            failed = true;
            SourceOutcome outcome;
            outcome.source = info.source;
            outcome.result = info.result;
            outcome.report.detail = info.detail;
            err << DiagnosticLine(outcome) << '\n' << std::flush;
            if (!options.json) return;
        }
        if (options.json) {
            out << InfoJson(info) << '\n' << std::flush;
        } else {
            out << (first ? "" : "\n") << InfoText(info) << std::flush;
            first = false;
        }
    };
    if (options.format == Format::Hfs) {
        for (std::size_t i = 0; i < sources.size(); ++i)
            ShowImage(sources[i], options.sources[i], show);
    } else {
        const platform::Holding holding;
        JobList jobs(sources, options.sources, options.recursive, {}, JobList::Detail::Companions,
                     reading.treeLayout.has_value());
        while (const std::optional<Job> job = jobs.Next())
            show(Describe(reading, *job));
    }
    // Nothing was written, so what the holding may say of writes does not concern this run.
    platform::TakeHoldingNotices();
    platform::SetCurrentFolder(start);
    return failed ? kExitSomeFailed : kExitConverted;
}

}  // namespace cli

}  // namespace veskar
