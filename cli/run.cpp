// SPDX-License-Identifier: Apache-2.0
#include "cli/run.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/batch.h"
#include "cli/image_target.h"
#include "cli/image_walk.h"
#include "cli/info.h"
#include "cli/jobs_ahead.h"
#include "cli/progress.h"
#include "core/common/charsets.h"
#include "core/formats.h"
#include "core/hfs_import.h"
#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/write/hfs_writer.h"
#include "core/write/server_name.h"
#include "core/write/trial_names.h"
#include "core/write/work_output.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"
#include "veskar_version.h"

namespace veskar {

namespace cli {

namespace {

using formats::Probe;

// A single source at least this long shows the progress display too.
constexpr std::uint64_t kLongFile = 64 * 1024 * 1024;

constexpr std::string_view kStreamsMount = "ntfs-3g -o streams_interface=windows";

void Complain(std::ostream& err, std::string_view subject, std::string_view problem) {
    err << kProgram << ": ";
    if (!subject.empty()) err << subject << ": ";
    err << problem << '\n' << std::flush;
}

// Why the target folder cannot take the outputs of `layout`; empty when it can.
constexpr std::string_view kNoSuchFolder = "no such folder";
constexpr std::string_view kNotAFolder = "not a folder";

// Makes the folder `target` and those above it that are missing, top down: the folders made,
// the topmost first (none when it is there, or cannot be made: TargetProblem then says why).
std::vector<std::filesystem::path> MakeMissingFolders(const std::string& target) {
    std::vector<std::filesystem::path> missing;
    std::error_code error;
    for (std::filesystem::path folder = platform::PathOfNative(target);
         !folder.empty() && !std::filesystem::exists(folder, error) && !error;
         folder = folder.parent_path()) {
        missing.push_back(folder);
        if (folder == folder.parent_path()) break;
    }
    std::vector<std::filesystem::path> made;
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        if (!std::filesystem::create_directory(*folder, error)) break;
        made.push_back(*folder);
    }
    return made;
}

// The folder nearest to `target` on its way up that is there.
std::string NearestExistingFolder(const std::string& target) {
    std::error_code error;
    std::filesystem::path folder = platform::PathOfNative(target);
    while (folder.has_relative_path() && !std::filesystem::exists(folder, error))
        folder = folder.parent_path();
    return platform::NativeOfPath(folder);
}

std::string TargetProblem(const std::string& target, Layout layout) {
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::path(target), error);
    if (!std::filesystem::exists(status)) {
        const bool missing = !error || error == std::errc::no_such_file_or_directory ||
                             error == std::errc::not_a_directory;
        return missing ? std::string(kNoSuchFolder)
                       : "the folder cannot be examined: " + error.message();
    }
    if (!std::filesystem::is_directory(status)) return std::string(kNotAFolder);

    const LayoutRow& row = LayoutRowOf(layout);
    if (row.needs == TargetNeeds::Nothing) return {};
    if (row.needs == TargetNeeds::UserAttributes) {
        const platform::AttributeSupport attributes = platform::QueryUserAttributes(target);
        if (attributes.takes) return {};
        std::string problem = "cannot hold the extended attributes of the " +
                              std::string(row.word) + " layout: " + attributes.reason;
        // The layout that needs none, where it could write.
        if (platform::IsWritableFolder(target))
            problem += "; --layout appledouble writes ._ files only, which need none";
        return problem;
    }
    const platform::VolumeInfo volume = platform::QueryVolume(target);
    if (volume.namedStreams) return {};
    std::string problem = "cannot hold NTFS named streams";
    if (!volume.advice.empty()) problem += ": " + volume.advice;
    // The advice is the platform's; the mount that does it on Linux is named in any case.
    if (problem.find("streams_interface=windows") == std::string::npos)
        problem += " (on Linux, mount an NTFS volume with '" + std::string(kStreamsMount) + "')";
#ifndef _WIN32
    // A layout that can write here, if one can.
    if (platform::QueryUserAttributes(target).takes)
        problem += "; to serve the files with Samba or netatalk from here, use --layout fruit";
    else if (platform::IsWritableFolder(target))
        problem += "; for a volume without attributes, --layout appledouble writes ._ files";
#endif
    return problem;
}

Probe ProbeFor(const Conversion& how, const std::string& source) {
    return formats::ProbeSource(source, {.strict = how.strict, .companionPath = how.companion});
}

// The name of the folder whose own information the job's source is, in the job's folder: a
// companion beside a folder, or one under "__MACOSX"; nullopt for any other source. The
// window's behaviour (--strict) knows no folders.
std::optional<std::string> InformationOf(const Job& job, const Options& options,
                                         const std::optional<Probe>& probe) {
    // A layout's tree reads a folder's information with the folder itself.
    if (options.strict || job.failed || job.link || TreeLayoutOf(options.format, options.recursive))
        return std::nullopt;
    if (!job.informationOf.empty()) return job.informationOf;
    const bool probedSo = probe && probe->verdict == Probe::Verdict::FolderInformation;
    if (!probedSo && options.format != Format::AppleDouble) return std::nullopt;
    const std::optional<std::string> folder = formats::FolderOfCompanion(job.source);
    if (!folder) return std::nullopt;
    return folder->substr(platform::FileNameStart(*folder));
}

// Makes the folder below the target that a folder's information belongs to (when the run has
// not already) and writes the information onto it with `import` (given the folder above it,
// the folder's name and the request). A folder that was there before the run keeps what it
// holds.
using FolderImport =
    std::function<ImportResult(const std::string& parent, const std::string& name,
                               const ImportRequest& request, ImportReport& report)>;
SourceOutcome ConvertFolder(OutputFolders& folders, const Job& job, const std::string& folderName,
                            const Options& options, const std::string& target,
                            const FolderImport& import) {
    SourceOutcome outcome;
    outcome.source = job.given;
    outcome.dryRun = options.dryRun;
    const OutputFolders::Place& place = folders.For(job.folder + folderName + "/");
    outcome.outputFolder = place.relative.substr(0, place.relative.size() - place.name.size() - 1);
    outcome.report.folder = true;
    outcome.result = ImportResult::WriteFailed;
    if (!place.problem.empty()) {
        outcome.report.detail = place.problem;
        return outcome;
    }
    if (!place.madeByRun) {
        outcome.skipped = SourceOutcome::Skip::FolderThere;
        outcome.outputFolder = place.relative;
        return outcome;
    }
    const std::string name = place.name;
    const OutputFolders::Place& parent = folders.For(job.folder);
    if (hfs::Volume* image = folders.Image()) TheHfsWriter().Into(image, parent.imageFolder);
    ImportRequest request;
    request.writer = &LayoutWriter(options.layout);
    request.dryRun = options.dryRun ? DryRun::IntoNewFolder : DryRun::Off;
    request.read.everyVariant = true;
    outcome.result = import(parent.isNew ? target : parent.folder, name, request, outcome.report);
    outcome.report.folder = true;
    return outcome;
}

// A folder's information in a "._" file (beside it or under "__MACOSX").
SourceOutcome ConvertFolderInformation(OutputFolders& folders, const Job& job,
                                       const std::string& folderName, const Options& options,
                                       const std::string& target) {
    return ConvertFolder(folders, job, folderName, options, target,
                         [&job](const std::string& parent, const std::string& name,
                                const ImportRequest& request, ImportReport& report) {
                             return ImportFolderInformation(parent, name, job.source, request,
                                                            report);
                         });
}

// The own information of a folder met in a walk of a layout's tree, written onto the folder
// the run makes for it (an empty folder is made too).
SourceOutcome ConvertStoredFolder(OutputFolders& folders, const Job& job, StoredLayout layout,
                                  const Options& options, const std::string& target) {
    return ConvertFolder(folders, job, job.informationOf, options, target,
                         [&job, layout](const std::string& parent, const std::string& name,
                                        const ImportRequest& request, ImportReport& report) {
                             return ImportStoredFolder(layout, parent, name, job.source, request,
                                                       report);
                         });
}

// What is passed over before any folder is made for it: a companion, read with its data
// file, and below a folder given with -r a file that is not a Mac file (unless --copy-others
// copies it). Nothing when the job is to be converted.
std::optional<SourceOutcome> PassedOver(const Job& job, const std::optional<Probe>& probe,
                                        const Options& options, bool named) {
    SourceOutcome outcome;
    outcome.source = job.given;
    outcome.dryRun = options.dryRun;
    const bool companionFormat =
        options.format == Format::AppleDouble || options.format == Format::Fruit;
    if ((probe && probe->verdict == Probe::Verdict::Companion) ||
        (companionFormat && IsAppleDoubleCompanion(job.source))) {
        outcome.skipped = SourceOutcome::Skip::Companion;
        return outcome;
    }
    if (named || options.copyOthers || !probe || probe->verdict != Probe::Verdict::Nothing)
        return std::nullopt;
    outcome.skipped = SourceOutcome::Skip::NotMac;
    return outcome;
}

// A file that is not a Mac file, copied into the folder as it is (--copy-others): read as a
// data file without a "._" file, which every layout writes as the plain file it is.
SourceOutcome CopyAsItIs(const Conversion& how, const std::string& folder,
                         const std::string& source, std::string_view given) {
    SourceOutcome outcome;
    outcome.source = std::string(given);
    outcome.dryRun = how.dryRun != DryRun::Off;
    outcome.copied = true;
    ImportRequest request;
    request.writer = &LayoutWriter(how.layout);
    request.dryRun = how.dryRun;
    request.readBack = how.readBack;
    request.skipExisting = how.skipExisting;
    outcome.result =
        ImportStored(StoredLayout::AppleDouble, folder, source, request, outcome.report);
    if (outcome.result == ImportResult::Exists) outcome.skipped = SourceOutcome::Skip::Exists;
    return outcome;
}

// The files and folders of HFS images given as sources (-r -f hfs), each written as the run's
// layout keeps it, in the folders below the target that the image's folders are. False when
// any failed.
bool ConvertImages(const Options& options, const std::vector<std::string>& sources,
                   const std::string& target, OutputFolders& folders, Reporter& reporter,
                   Tally& tally) {
    bool wentWell = true;
    const auto report = [&](const SourceOutcome& outcome) {
        reporter.Report(outcome);
        tally.Add(outcome);
        wentWell = wentWell && WentWell(outcome);
    };
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SourceOutcome failure;
        failure.source = options.sources[i];
        std::string why;
        const std::unique_ptr<hfs::Volume> volume = hfs::Volume::Open(sources[i], false, why);
        if (!volume) {
            failure.result = std::filesystem::exists(platform::PathOfNative(sources[i]))
                                 ? ImportResult::WrongKind
                                 : ImportResult::CannotOpen;
            failure.report.detail = why;
            report(failure);
            continue;
        }
        ImageWalk walk(*volume, options.sources[i]);
        while (const std::optional<ImageJob> entry = walk.Next()) {
            platform::SetInterruptNote(std::string(kProgram) + ": interrupted while converting " +
                                       entry->given + ": nothing of its output was left\n");
            if (entry->entry.folder) {
                Job job;
                job.given = entry->given;
                job.folder = entry->folder;
                job.informationOf = ImageName(entry->entry);
                report(ConvertFolder(folders, job, job.informationOf, options, target,
                                     [&](const std::string& parent, const std::string& name,
                                         const ImportRequest& request, ImportReport& out) {
                                         return ImportHfsFolder(*volume, entry->entry, parent, name,
                                                                request, out);
                                     }));
                continue;
            }
            SourceOutcome outcome;
            outcome.source = entry->given;
            outcome.dryRun = options.dryRun;
            const OutputFolders::Place& place = folders.For(entry->folder);
            if (!place.problem.empty()) {
                outcome.result = ImportResult::WriteFailed;
                outcome.report.detail = place.problem;
                report(outcome);
                continue;
            }
            if (hfs::Volume* image = folders.Image()) TheHfsWriter().Into(image, place.imageFolder);
            if (options.dryRun) trial_names::Enter(place.relative);
            ImportRequest request;
            request.writer = &LayoutWriter(options.layout);
            request.dryRun = !options.dryRun ? DryRun::Off
                             : place.isNew   ? DryRun::IntoNewFolder
                                             : DryRun::IntoFolder;
            if (options.verify && options.layout != Layout::Hfs)
                request.readBack = StoredLayoutOf(options.layout);
            outcome.result =
                ImportHfsFile(*volume, entry->entry, place.isNew ? target : place.folder,
                              entry->given, request, outcome.report);
            outcome.outputFolder = place.relative;
            if (options.dryRun && !outcome.report.outputName.empty())
                trial_names::Add(outcome.report.outputName);
            report(outcome);
        }
    }
    return wentWell;
}

}  // namespace

StoredLayout StoredLayoutOf(Layout layout) {
    switch (layout) {
        case Layout::Sfm:
            return StoredLayout::Sfm;
        case Layout::Fruit:
            return StoredLayout::Fruit;
        case Layout::AppleDouble:
            return StoredLayout::AppleDouble;
        case Layout::StreamsXattr:
            return StoredLayout::StreamsXattr;
        case Layout::MacBinary:
            return StoredLayout::MacBinary;
        case Layout::AppleSingle:
            return StoredLayout::AppleSingle;
        case Layout::BinHex:
            return StoredLayout::BinHex;
        case Layout::Netatalk2:
        case Layout::Hfs:
            break;
    }
    return StoredLayout::Netatalk2;
}

std::optional<StoredLayout> TreeLayoutOf(Format format, bool recursive) {
    if (!recursive) return std::nullopt;
    switch (format) {
        case Format::Sfm:
            return StoredLayout::Sfm;
        case Format::Fruit:
            return StoredLayout::Fruit;
        case Format::StreamsXattr:
            return StoredLayout::StreamsXattr;
        case Format::Netatalk2:
            return StoredLayout::Netatalk2;
        case Format::AppleDouble:
            return StoredLayout::AppleDouble;
        default:
            return std::nullopt;
    }
}

std::string AbsolutePath(std::string_view path, std::string_view base) {
    const std::filesystem::path native = platform::PathOfNative(path);
    if (base.empty() || path.empty() || native.is_absolute()) return std::string(path);
    // A network path ("\\server\share\name"): GCC's std::filesystem on Windows does not take
    // the server as a root name, and would put it on the current drive.
    if (path.size() >= 2 && platform::IsSeparator(path[0]) && platform::IsSeparator(path[1]))
        return std::string(path);
    std::error_code error;
    // Only on Windows: "C:name" lies on a drive's own current folder, which the system knows.
    if (native.has_root_name()) {
        const auto absolute = std::filesystem::absolute(native, error);
        return error ? std::string(path) : platform::NativeOfPath(absolute);
    }
    // Only on Windows too: "\name" starts at the root of the current drive.
    if (native.has_root_directory())
        return platform::NativeOfPath(platform::PathOfNative(base).root_name()) + std::string(path);
    std::string joined(base);
    if (!platform::IsSeparator(joined.back())) joined += platform::kPathSeparator;
    return joined + std::string(path);
}

SourceOutcome ConvertSource(Format format, const std::string& target, const std::string& source,
                            std::string_view given) {
    Conversion how;
    how.format = format;
    return ConvertSource(how, target, source, given);
}

SourceOutcome ConvertSource(const Conversion& how, const std::string& target,
                            const std::string& source, std::string_view given,
                            formats::Probe* probed) {
    SourceOutcome outcome;
    outcome.source = std::string(given);
    outcome.dryRun = how.dryRun != DryRun::Off;
    Format format = how.format;
    // A companion is read together with its data file, which is converted on its own.
    if ((format == Format::AppleDouble || format == Format::Fruit) &&
        IsAppleDoubleCompanion(source)) {
        outcome.skipped = SourceOutcome::Skip::Companion;
        return outcome;
    }
    Probe probe;  // its source, when set, as the probe left it open
    if (format == Format::Auto) {
        probe = probed ? std::move(*probed) : ProbeFor(how, source);
        switch (probe.verdict) {
            case Probe::Verdict::CannotOpen:
                outcome.result = ImportResult::CannotOpen;
                outcome.report.detail = std::move(probe.detail);
                return outcome;
            case Probe::Verdict::ReadFailed:
                outcome.result = ImportResult::ReadFailed;
                outcome.report.detail = std::move(probe.detail);
                return outcome;
            case Probe::Verdict::Companion:
            case Probe::Verdict::FolderInformation:
                outcome.skipped = SourceOutcome::Skip::Companion;
                return outcome;
            case Probe::Verdict::Nothing:
                outcome.result = ImportResult::WrongKind;
                outcome.report.detail = LooksLikeHfsImage(source)
                                            ? "an HFS disk image: read what it holds with -f hfs"
                                            : "not MacBinary, AppleSingle, AppleDouble or BinHex";
                return outcome;
            case Probe::Verdict::Recognised:
                format = probe.format;
                break;
        }
    }
    const ImportRequest request{
        // Without --strict, the command line names and records files as the Mac showed them.
        .writer = how.strict ? nullptr : &LayoutWriter(how.layout),
        .dryRun = how.dryRun,
        .verify = how.verify,
        .binhexStart =
            how.strict ? binhex::Start::FirstColon : binhex::Start::LineAfterIdentification,
        .binhexOnePass = !how.strict,
        .companionPath = how.companion,
        .read = {.everyVariant = !how.strict},
        .readBack = how.readBack,
        .skipExisting = how.skipExisting,
    };
    const formats::FormatRow& row = formats::RowOf(format);
    if (how.layoutTree && format == Format::AppleDouble)
        outcome.result =
            ImportStored(StoredLayout::AppleDouble, target, source, request, outcome.report);
    else
        outcome.result =
            row.import(target, source, request, outcome.report, probe.source ? &probe : nullptr);
    if (outcome.result == ImportResult::Exists) outcome.skipped = SourceOutcome::Skip::Exists;
    if (outcome.result == ImportResult::WrongKind && outcome.report.detail.empty())
        outcome.report.detail = "not a " + std::string(row.title) + " file";
    return outcome;
}

int Run(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
        bool errIsTerminal) {
    const Parsed parsed = ParseArguments(arguments);
    if (!parsed.error.empty()) {
        Complain(err, {}, parsed.error);
        err << "try '" << kProgram << " --help'\n";
        return kExitUsage;
    }
    const Options& options = parsed.options;
    if (options.help) {
        out << HelpText() << std::flush;
        return kExitConverted;
    }
    if (options.info) return ShowInfo(options, out, err);
    if (options.version) {
        out << kProgram << ' ' << VESKAR_VERSION << '\n' << std::flush;
        return kExitConverted;
    }

    // Each import makes the target folder the current one, so every path is fixed against
    // the folder the run started in before the first import.
    const std::string start = platform::CurrentFolder();
    const std::string target = AbsolutePath(options.target, start);
    std::vector<std::string> sources;
    sources.reserve(options.sources.size());
    for (const auto& source : options.sources)
        sources.push_back(AbsolutePath(source, start));

    // A missing target folder is made (with the folders above it that are missing), and
    // removed again if it cannot take the outputs after all.
    const bool intoImage = options.layout == Layout::Hfs;
    std::optional<ImageTarget> image;
    if (intoImage) {
        std::string problem;
        image = OpenImageTarget(options, target, problem);
        if (!image) {
            Complain(err, options.target, problem);
            return kExitUsage;
        }
    }
    std::vector<std::filesystem::path> made;
    if (!options.dryRun && !intoImage) made = MakeMissingFolders(target);
    // A trial run into a folder that a run would make writes its names as into an empty one,
    // and asks the nearest folder that is there whether it could take the outputs.
    // An image's folder that a trial run would make is stood in for in the same way.
    std::string standIn = intoImage ? NearestExistingFolder(image->folder) : target;
    const bool targetIsNew =
        options.dryRun && !intoImage && TargetProblem(target, options.layout) == kNoSuchFolder;
    if (targetIsNew) standIn = NearestExistingFolder(target);
    if (std::string problem = TargetProblem(standIn, options.layout); !problem.empty()) {
        if (image) CloseImageTarget(*image);
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
            std::error_code ignored;
            std::filesystem::remove(*folder, ignored);  // only while it is empty
        }
        if (problem == kNotAFolder && !sources.empty() &&
            std::filesystem::is_directory(sources.back()))
            problem += ": TARGET_FOLDER comes first: veskar-convert TARGET_FOLDER SOURCE...";
        Complain(err, options.target, problem);
        return kExitUsage;
    }
    if (intoImage && image->scratch.empty() && image->made && !options.quiet)
        err << kProgram << ": " << options.target << ": a new HFS image, volume \""
            << platform::Utf8ToNative(charsets::MacRomanToUtf8(image->volume->Name())) << "\"\n";
    if (intoImage && !image->scratch.empty() && !options.quiet)
        err << kProgram << ": " << options.target
            << ": a new HFS image would be made (a trial run makes nothing)\n";
    if (targetIsNew && !options.quiet)
        err << kProgram << ": " << options.target
            << ": would be made (a trial run makes nothing)\n";

    // The run holds every folder it writes into from the first output on, and puts what it
    // wrote on the disk before its results are final.
    SyncEachOutput(options.sync);
    std::optional<platform::Holding> holding(std::in_place);

    // The files are found as the run goes, not listed first; only the progress display
    // needs the totals, and walks everything once beforehand for them.
    const bool progressWanted = errIsTerminal && !options.quiet;
    const std::optional<StoredLayout> treeLayout = TreeLayoutOf(options.format, options.recursive);
    // A layout's tree, and a folder brought across with the other files, come whole: every
    // folder is a job of its own, made even when nothing lands in it.
    // HFS images are walked in their catalogs, not on the disk.
    const bool fromImages = options.format == Format::Hfs;
    const std::vector<std::string> noSources;
    JobList list(fromImages ? noSources : sources, options.sources, options.recursive, target,
                 progressWanted ? JobList::Detail::Full : JobList::Detail::Companions,
                 treeLayout.has_value() || options.copyOthers);
    // The sources are opened and probed ahead, as the imports would probe them.
    JobsAhead jobs(list, [&options](const Job& job) -> std::optional<Probe> {
        if (options.format != Format::Auto || job.failed || job.zipCompanion || job.link ||
            !job.informationOf.empty())
            return std::nullopt;
        return ProbeFor({.strict = options.strict, .companion = job.companion}, job.source);
    });
    std::optional<ProbedJob> job = jobs.Next();
    std::optional<ProbedJob> following = job ? jobs.Next() : std::nullopt;
    const bool batch = following.has_value();
    const Totals totals = progressWanted && !fromImages
                              ? CountJobs(sources, options.sources, options.recursive, target)
                              : Totals{};
    Progress progress(err, progressWanted && (batch || totals.bytes > kLongFile), totals.files,
                      totals.bytes);
    // Folders are named as the outputs: on NTFS, where names are native Unicode, as a Mac
    // client stores them too (the window's names with --strict).
    const bool serverNames =
        options.layout != Layout::Sfm || (platform::kNativeTextIsUtf8 && !options.strict);
    OutputFolders folders(targetIsNew || intoImage ? standIn : target, options.dryRun,
                          options.layout == Layout::Netatalk2 ? &Netatalk2StoredName
                          : serverNames                       ? &ServerStoredName
                                                              : nullptr,
                          targetIsNew);
    if (intoImage) folders.InImage(image->volume.get());
    Reporter reporter(out, err, options.json, options.quiet);
    // A source named on the command line, not found below a folder given.
    const auto namedAsSource = [&sources](const Job& walked) {
        return std::find(sources.begin(), sources.end(), walked.source) != sources.end();
    };
    Tally tally;
    bool failed = false;
    if (fromImages)
        failed = !ConvertImages(options, sources, standIn, folders, reporter, tally) || failed;
    for (; job; job = std::exchange(following, jobs.Next())) {
        const Job& current = job->job;
        if (current.isFolder && !treeLayout) {
            // Only the folder itself: its information, if any, is a job of its own.
            const OutputFolders::Place& place =
                folders.For(current.folder + current.informationOf + "/");
            if (place.problem.empty()) continue;
            SourceOutcome outcome;
            outcome.source = current.given;
            outcome.result = ImportResult::WriteFailed;
            outcome.report.detail = place.problem;
            reporter.Report(outcome);
            tally.Add(outcome);
            failed = true;
            continue;
        }
        progress.Starting(current.given, current.bytes);
        platform::SetInterruptNote(std::string(kProgram) + ": interrupted while converting " +
                                   current.given + ": nothing of its output was left\n");
        SourceOutcome outcome;
        if (current.failed) {
            outcome = *current.failed;
        } else if (current.isFolder) {
            outcome = ConvertStoredFolder(folders, current, *treeLayout, options, standIn);
        } else if (current.zipCompanion || current.link) {
            outcome.source = current.given;
            outcome.skipped =
                current.link ? SourceOutcome::Skip::Link : SourceOutcome::Skip::Companion;
        } else if (const std::optional<std::string> folder =
                       InformationOf(current, options, job->probe)) {
            outcome = ConvertFolderInformation(folders, current, *folder, options, standIn);
        } else if (std::optional<SourceOutcome> passed =
                       PassedOver(current, job->probe, options, namedAsSource(current))) {
            outcome = std::move(*passed);
        } else {
            const OutputFolders::Place& place = folders.For(current.folder);
            if (!place.problem.empty()) {
                outcome.source = current.given;
                outcome.result = ImportResult::WriteFailed;
                outcome.report.detail = place.problem;
            } else {
                Conversion how{.format = options.format,
                               .layout = options.layout,
                               .strict = options.strict,
                               .verify = options.verify,
                               .dryRun = DryRun::Off,
                               .companion = current.companion,
                               .layoutTree = treeLayout.has_value(),
                               .skipExisting = options.skipExisting};
                // An image's entries are written whole or not at all; no reader reads them
                // back from a folder.
                if (options.verify && !options.strict && !intoImage)
                    how.readBack = StoredLayoutOf(options.layout);
                if (options.dryRun)
                    how.dryRun = place.isNew ? DryRun::IntoNewFolder : DryRun::IntoFolder;
                // A folder that a trial run would make is not there: the names are those of
                // an empty folder, and the target stands in for it.
                const std::string& into = place.isNew ? standIn : place.folder;
                if (options.dryRun) trial_names::Enter(place.relative);
                if (intoImage) TheHfsWriter().Into(image->volume.get(), place.imageFolder);
                const bool other = options.copyOthers && job->probe &&
                                   job->probe->verdict == Probe::Verdict::Nothing &&
                                   !namedAsSource(current);
                outcome = other ? CopyAsItIs(how, into, current.source, current.given)
                                : ConvertSource(how, into, current.source, current.given,
                                                job->probe ? &*job->probe : nullptr);
                outcome.outputFolder = place.relative;
                // The next sources of this trial run see the name as a run would leave it.
                if (options.dryRun && !outcome.report.outputName.empty())
                    trial_names::Add(outcome.report.outputName);
            }
        }
        // A "._" file named alone, without its data file, is not a source of its own.
        if (outcome.skipped == SourceOutcome::Skip::Companion && !current.zipCompanion &&
            namedAsSource(current)) {
            const std::size_t nameAt = platform::FileNameStart(current.source);
            const std::string dataFile =
                current.source.substr(0, nameAt) + current.source.substr(nameAt + 2);
            if (current.source.compare(nameAt, 2, "._") == 0 &&
                std::find(sources.begin(), sources.end(), dataFile) == sources.end()) {
                const std::string dataName = current.source.substr(nameAt + 2);
                outcome.skipped = SourceOutcome::Skip::No;
                outcome.result = ImportResult::WrongKind;
                outcome.report.detail =
                    "this is the companion of " + dataName + ": give " + dataName;
            }
        }
        progress.Finished();
        progress.Clear();
        reporter.Report(outcome);
        tally.Add(outcome);
        failed = failed || !WentWell(outcome);
    }
    progress.Clear();
    platform::SetInterruptNote({});
    trial_names::Forget();
    if (image) {
        TheHfsWriter().Into(nullptr, hfs::kRootFolder);
        if (const std::string problem = CloseImageTarget(*image); !problem.empty()) {
            Complain(err, options.target, problem);
            failed = true;
        }
    }
    holding.reset();
    // What the holdings found (the leftovers of an interrupted run removed) and could not do
    // (a work folder left, a volume that would not sync): said, and a failure for the latter.
    for (const platform::HoldingNotice& notice : platform::TakeHoldingNotices()) {
        err << kProgram << ": " << notice.text << '\n';
        failed = failed || notice.trouble;
    }
    if ((batch || fromImages) && !options.quiet)
        err << kProgram << ": "
            << (treeLayout || fromImages ? tally.TreeLine(options.dryRun)
                                         : tally.Line(options.dryRun))
            << '\n'
            << std::flush;
    return failed ? kExitSomeFailed : kExitConverted;
}

}  // namespace cli

}  // namespace veskar
