// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_output.h"

#include <array>
#include <ctime>

#include "core/common/copy_fork.h"
#include "core/finder_info.h"
#include "core/write/server_attributes.h"
#include "core/write/server_name.h"
#include "core/write/server_records.h"
#include "core/write/trial_names.h"
#include "core/write/unique_name.h"

namespace veskar {

namespace {

constexpr std::string_view kCompanionPrefix = "._";

// The command line's copies, which these layouts are, move large chunks.
ForkPlace InLargeChunks(ForkPlace place) {
    place.chunk = kLargeCopySize;
    return place;
}

std::string CompanionOf(std::string_view name) {
    return std::string(kCompanionPrefix) + std::string(name);
}

std::string Netatalk2HeaderOf(std::string_view name) {
    return std::string(netatalk2::kFolder) + "/" + std::string(name);
}

std::string OutputName(const MacFileDescription& file, std::string_view sourcePath,
                       StoredNames names, std::string_view extension) {
    if (names == StoredNames::Netatalk2) return Netatalk2Name(file, sourcePath);
    if (extension.empty()) return ServerName(file, sourcePath);
    return ServerName(file, sourcePath, kMaxServerNameBytes - extension.size()) +
           std::string(extension);
}

bool Exists(std::string_view name) {
    return platform::FindNativeInCurrentFolder(std::string(name)) != platform::Found::Nothing;
}

// Taken when anything bears the name, or its "._" file's, in any letter case: a server that
// matches names regardless of case would otherwise pair the output with another's "._" file.
bool TakenWithCompanion(std::string_view name) {
    const std::array<std::string, 2> names{std::string(name), CompanionOf(name)};
    return platform::FindAnyNativeInCurrentFolder(names) != platform::Found::Nothing;
}

UniqueNameRules RulesFor(Companion companion) {
    // netatalk 2's header is named after the data file in a folder of its own, where nothing
    // else takes names.
    const bool alone = companion == Companion::None || companion == Companion::InAppleDoubleFolder;
    return {kMaxServerNameBytes, alone ? Exists : TakenWithCompanion, true};
}

bool MakeUnique(std::string& name, Companion companion) {
    return MakeReadableUniqueName(name, RulesFor(companion));
}

}  // namespace

ImportResult PlanServerOutput(const MacFileDescription& file, std::string_view sourcePath,
                              Companion companion, bool intoEmptyFolder, ImportReport& report,
                              StoredNames names, std::string_view extension) {
    std::string name = OutputName(file, sourcePath, names, extension);
    report.nativeName = true;
    NoteFinderInfo(report, FinderInfoToWrite(file));
    report.outputName = name;
    const bool taken =
        (!intoEmptyFolder && RulesFor(companion).taken(name)) || trial_names::Taken(name);
    if (taken && !MakeUnique(name, companion)) {
        report.outputName = name;
        report.detail = "every unique name for " + name + " is taken";
        report.dataBytes = report.resourceBytes = 0;
        return ImportResult::WriteFailed;
    }
    report.outputName = name;
    report.detail.clear();
    return ImportResult::Converted;
}

ServerOutput::ServerOutput(const MacFileDescription& file, std::string_view sourcePath,
                           Companion companion, ImportReport& report, StoredNames names,
                           std::string_view extension)
    : file_(file),
      companion_(companion),
      report_(report),
      info_(FinderInfoToWrite(file)),
      name_(OutputName(file, sourcePath, names, extension)) {
    report_.nativeName = true;
    NoteFinderInfo(report_, info_);
}

ImportResult ServerOutput::Fail(ImportResult result, std::string detail) {
    appleDouble_.Discard();
    data_.Discard();
    for (const WorkOutput* file : {&appleDouble_, &data_})
        if (!file->Leftover().empty()) detail += "; " + file->Leftover();
    report_.outputName = name_;
    report_.detail = std::move(detail);
    report_.dataBytes = report_.resourceBytes = 0;
    return result;
}

ImportResult ServerOutput::WriteData() {
    std::string detail;
    if (!ChooseName(name_, Naming(), detail) || !data_.Create(detail))
        return Fail(ImportResult::WriteFailed, detail);
    const CopyStatus status = CopyForkTo(InLargeChunks(file_.data), data_.Raw(), 0, dataCopied_);
    if (status != CopyStatus::Done)
        return Fail(ResultOf(status), CopyFailure(status, "the data fork", "the data fork"));
    return ImportResult::Converted;
}

ImportResult ServerOutput::CloseData() {
    if (!platform::SetFileTimes(data_.Raw(), file_.dates.modified, std::nullopt))
        return Fail(ImportResult::WriteFailed, SystemReason("cannot set the data file's dates"));
    if (!data_.Close())
        return Fail(ImportResult::WriteFailed, SystemReason("cannot write the data fork"));
    return ImportResult::Converted;
}

std::string ServerOutput::CompanionName(const std::string& name) const {
    return companion_ == Companion::InAppleDoubleFolder ? Netatalk2HeaderOf(name)
                                                        : CompanionOf(name);
}

ImportResult ServerOutput::WriteCompanion() {
    const std::string companionName = CompanionName(name_);
    std::string detail;
    if (companion_ == Companion::InAppleDoubleFolder) {
        // The header's folder, held (and made when missing) like every folder the run writes
        // into: one planted as a link is refused, not followed.
        std::string path;
        bool made = false;
        if (platform::HoldSubfolder(platform::CurrentHeldFolder(), netatalk2::kFolder, true, path,
                                    detail, &made) != platform::Subfolder::Held)
            return Fail(ImportResult::WriteFailed, detail);
        if (made) platform::NoteNativeCreatedInCurrentFolder(netatalk2::kFolder);
        for (const ExtendedAttribute& attribute : file_.extendedAttributes)
            report_.warnings.push_back("the extended attribute " + attribute.name +
                                       " was left out: netatalk 2 keeps no extended attributes");
    }
    if (!appleDouble_.Create(detail)) return Fail(ImportResult::WriteFailed, detail);
    const platform::RawFile written = appleDouble_.Raw();
    const std::int64_t now = std::time(nullptr);
    const auto headerFor = [this, now](std::uint32_t resourceLength) {
        switch (companion_) {
            case Companion::BesideWithAttributes:
                return MakeAppleDoubleHeader(info_, resourceLength, file_.extendedAttributes);
            case Companion::InAppleDoubleFolder:
                // The name entry left empty, as netatalk leaves it at times: the data file's
                // own name, whatever unique name it takes, is then the Mac name.
                return MakeNetatalk2Header(info_, file_, {}, resourceLength, now);
            default:
                return MakeAppleDoubleHeader(info_, resourceLength, {});
        }
    };
    const std::vector<std::uint8_t> header = headerFor(file_.resource.length);
    if (companion_ == Companion::BesideWithAttributes)
        NoteAttributesLeftOut(file_.extendedAttributes, report_.warnings);
    const CopyStatus status =
        CopyForkTo(InLargeChunks(file_.resource), written, header.size(), resourceCopied_, header);
    if (status != CopyStatus::Done)
        return Fail(ResultOf(status), CopyFailure(status, "the resource fork", companionName));
    // A source that ended early: the entry says what the file holds.
    if (resourceCopied_ != file_.resource.length) {
        const std::vector<std::uint8_t> held =
            headerFor(static_cast<std::uint32_t>(resourceCopied_));
        if (!platform::RawWriteAllAt(written, 0, held.data(), held.size()))
            return Fail(ImportResult::WriteFailed, SystemReason("cannot write " + companionName));
    }
    if (!platform::SetFileTimes(written, file_.dates.modified, std::nullopt))
        return Fail(ImportResult::WriteFailed,
                    SystemReason("cannot set the dates of " + companionName));
    if (!appleDouble_.Close())
        return Fail(ImportResult::WriteFailed, SystemReason("cannot write " + companionName));
    return ImportResult::Converted;
}

OutputNaming ServerOutput::Naming() const {
    return {
        .taken = [this](const std::string& name) { return RulesFor(companion_).taken(name); },
        .makeUnique = [this](std::string& name) { return MakeUnique(name, companion_); },
        .native = [](const std::string& name) { return name; },
    };
}

ImportResult ServerOutput::SetServerAttributes(bool netatalk) {
    std::string detail =
        SetSambaAttributes(data_.Raw(), file_, info_, netatalk, samba::kArchive, report_);
    return detail.empty() ? ImportResult::Converted : Fail(ImportResult::WriteFailed, detail);
}

ImportResult ServerOutput::Place() {
    const OutputNaming naming = Naming();
    std::string detail;
    const std::function<std::string(const std::string&)> names[] = {
        [this](const std::string& name) { return CompanionName(name); },
        [](const std::string& name) { return name; }};
    WorkOutput* const pair[] = {&appleDouble_, &data_};
    const bool withCompanion = companion_ != Companion::None;
    const std::span<WorkOutput* const> files =
        withCompanion ? std::span(pair) : std::span(pair).last(1);
    const std::span<const std::function<std::string(const std::string&)>> nameOf =
        withCompanion ? std::span(names) : std::span(names).last(1);
    if (!PlaceOutput(files, nameOf, name_, naming, detail))
        return Fail(ImportResult::WriteFailed, detail);
    if (withCompanion && companion_ != Companion::InAppleDoubleFolder) {
        const std::array<std::string, 2> created{name_, CompanionOf(name_)};
        platform::NoteNativeCreatedInCurrentFolder(created);
    } else {
        platform::NoteNativeCreatedInCurrentFolder(name_);
    }
    return ImportResult::Converted;
}

ImportResult ServerOutput::WritePair(
    const std::function<ImportResult(ServerOutput& output)>& beforeClose) {
    ImportResult result = WriteData();
    if (result == ImportResult::Converted && beforeClose) result = beforeClose(*this);
    if (result == ImportResult::Converted) result = CloseData();
    if (result == ImportResult::Converted && companion_ != Companion::None)
        result = WriteCompanion();
    if (result == ImportResult::Converted) result = Place();
    return result == ImportResult::Converted ? Done(resourceCopied_) : result;
}

ImportResult ServerOutput::WriteWhole(const Fill& fill) {
    std::string detail;
    if (!ChooseName(name_, Naming(), detail) || !data_.Create(detail))
        return Fail(ImportResult::WriteFailed, detail);
    const ImportResult filled = fill(data_.Raw(), dataCopied_, resourceCopied_, detail);
    if (filled != ImportResult::Converted) return Fail(filled, detail);
    if (const ImportResult result = CloseData(); result != ImportResult::Converted) return result;
    if (const ImportResult result = Place(); result != ImportResult::Converted) return result;
    return Done(resourceCopied_);
}

ImportResult ServerOutput::Done(std::uint64_t resourceCopied) {
    report_.outputName = name_;
    report_.dataBytes = dataCopied_;
    report_.resourceBytes = resourceCopied;
    report_.detail.clear();
    const std::string shortfall =
        ForkShortfall(file_.data, dataCopied_, file_.resource, resourceCopied);
    return WithShortfall(WithShortfall(ImportResult::Converted, shortfall, &report_),
                         file_.shortfall, &report_);
}

}  // namespace veskar
