// SPDX-License-Identifier: Apache-2.0
#include "core/write/hfs_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "core/common/charsets.h"
#include "core/common/copy_fork.h"
#include "core/common/mac_time.h"
#include "core/finder_info.h"
#include "core/write/trial_names.h"
#include "core/write/unique_name.h"
#include "core/write/wrapping.h"
#include "platform/platform.h"

namespace veskar {

namespace {

constexpr std::string_view kFormat = "an HFS volume";

// The volume and folder a name is looked for in while MakeReadableUniqueName tries numbers.
const hfs::Volume* lookingIn = nullptr;
hfs::CatalogId lookingInFolder = hfs::kRootFolder;

std::string Shown(const std::string& macRoman) {
    return platform::Utf8ToNative(charsets::MacRomanToUtf8(macRoman));
}

// Taken in the folder, or by an output a trial run named before (as it reported the name).
bool TakenInFolder(std::string_view name) {
    return (lookingIn && lookingIn->Find(lookingInFolder, name).has_value()) ||
           trial_names::Taken(Shown(std::string(name)));
}

// A fork's bytes pulled in order from where the source holds them.
class PlacedFork final : public hfs::ForkInput {
  public:
    PlacedFork(const ForkPlace& place, std::string_view what)
        : place_(place), what_(what), length_(static_cast<std::uint32_t>(BytesAvailable(place))) {}
    std::uint32_t Length() const override { return length_; }
    bool Read(std::span<std::uint8_t> into, std::string& why) override {
        std::size_t filled = 0;
        while (filled < into.size()) {
            const std::uint64_t from = place_.offset + at_;
            std::int64_t got;
            if (place_.reader) {
                got = place_.reader->Read(into.data() + filled, into.size() - filled);
            } else if (from < place_.held.size()) {
                got = static_cast<std::int64_t>(
                    std::min<std::uint64_t>(place_.held.size() - from, into.size() - filled));
                std::memcpy(into.data() + filled, place_.held.data() + from,
                            static_cast<std::size_t>(got));
            } else {
                got = platform::RawReadAt(platform::RawOf(place_.stream), from,
                                          into.data() + filled, into.size() - filled);
            }
            if (got < 0) {
                why = SystemReason("cannot read " + what_);
                return false;
            }
            if (got == 0) {
                why = what_ + " ends before its " + std::to_string(length_) + " bytes";
                return false;
            }
            filled += static_cast<std::size_t>(got);
            at_ += static_cast<std::uint64_t>(got);
        }
        return true;
    }

  private:
    const ForkPlace& place_;
    std::string what_;
    std::uint32_t length_;
    std::uint64_t at_ = 0;
};

hfs::FinderRecord RecordOf(const FinderInformation& info) {
    hfs::FinderRecord record{};
    std::copy_n(info.begin(), std::min(info.size(), record.size()), record.begin());
    return record;
}

// What HFS keeps elsewhere, or not at all: said, never dropped in silence.
void NoteNotKept(const MacFileDescription& file, std::vector<std::string>& warnings) {
    if (!file.comment.empty())
        warnings.push_back(
            "the comment was left out: an HFS volume keeps comments in the Finder's Desktop "
            "file, which is not written");
    for (const ExtendedAttribute& attribute : file.extendedAttributes)
        warnings.push_back("the extended attribute " + attribute.name + " was left out: " +
                           std::string(kFormat) + " keeps no extended attributes");
}

}  // namespace

HfsWriter& TheHfsWriter() {
    static HfsWriter writer;
    return writer;
}

std::string HfsNameOf(std::string_view utf8) {
    std::string name = charsets::Utf8ToMacRoman(utf8);
    std::replace(name.begin(), name.end(), ':', '-');
    if (name.size() > hfs::kMaxNameBytes) name.resize(hfs::kMaxNameBytes);
    if (name.empty()) name = "Untitled";
    return name;
}

hfs::Dates HfsDatesOf(const MacDates& dates) {
    const std::optional<std::int64_t> modified =
        dates.modified ? dates.modified : std::optional<std::int64_t>(std::time(nullptr));
    return {.created = mac_time::To1904(dates.created ? dates.created : modified),
            .modified = mac_time::To1904(modified),
            .backedUp = mac_time::To1904(dates.backedUp)};
}

std::string HfsWriter::NameFor(const MacFileDescription& file, std::string_view sourcePath,
                               bool intoEmptyFolder, ImportReport& report) const {
    std::string name = WrappedMacName(file, sourcePath, hfs::kMaxNameBytes, report.warnings);
    std::replace(name.begin(), name.end(), ':', '-');
    if (name.empty()) name = "Untitled";
    lookingIn = intoEmptyFolder ? nullptr : volume_;
    lookingInFolder = folder_;
    const bool taken = TakenInFolder(name);
    const bool unique =
        !taken || MakeReadableUniqueName(name, {hfs::kMaxNameBytes, TakenInFolder, false});
    lookingIn = nullptr;
    report.outputName = Shown(name);
    report.nativeName = true;
    if (!unique) {
        report.detail = "every unique name for " + report.outputName + " is taken";
        return {};
    }
    return name;
}

ImportResult HfsWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                             bool intoEmptyFolder, ImportReport& report) const {
    NoteNotKept(file, report.warnings);
    NoteFinderInfo(report, FinderInfoToWrite(file));
    if (NameFor(file, sourcePath, intoEmptyFolder || !volume_, report).empty())
        return ImportResult::WriteFailed;
    return ImportResult::Converted;
}

ImportResult HfsWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                              ImportReport& report) const {
    if (!volume_) {
        report.detail = "no HFS image is open";
        return ImportResult::WriteFailed;
    }
    NoteNotKept(file, report.warnings);
    const FinderInformation info = FinderInfoToWrite(file);
    NoteFinderInfo(report, info);
    const std::string name = NameFor(file, sourcePath, false, report);
    if (name.empty()) return ImportResult::WriteFailed;
    hfs::NewEntry entry{
        .name = name,
        .finder = RecordOf(info),
        .dates = HfsDatesOf(file.dates),
        .locked = file.macAttributes && (*file.macAttributes & mac_attributes::kLocked) != 0};
    PlacedFork data(file.data, "the data fork");
    PlacedFork resource(file.resource, "the resource fork");
    std::string why;
    if (!volume_->AddFile(folder_, entry, &data, &resource, why)) {
        report.detail = why;
        return ImportResult::WriteFailed;
    }
    report.dataBytes = data.Length();
    report.resourceBytes = resource.Length();
    return WithShortfall(ImportResult::Converted, file.shortfall, &report);
}

ImportResult HfsWriter::WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                                    ImportReport& report) const {
    if (!volume_) {
        report.detail = "no HFS image is open";
        return ImportResult::WriteFailed;
    }
    NoteNotKept(folder, report.warnings);
    const FinderInformation info = FinderInfoToWrite(folder);
    NoteFinderInfo(report, info);
    report.outputName = nativeName;
    report.nativeName = true;
    const std::optional<hfs::Entry> entry =
        volume_->Find(folder_, HfsNameOf(platform::NativeToUtf8(nativeName)));
    std::string why = "the folder " + nativeName + " is not on the volume";
    if (!entry || !entry->folder ||
        !volume_->SetFolderInformation(entry->id, RecordOf(info), HfsDatesOf(folder.dates), why)) {
        report.detail = why;
        return ImportResult::WriteFailed;
    }
    return ImportResult::Converted;
}

}  // namespace veskar
