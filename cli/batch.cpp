// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "cli/folder_walk.h"
#include "core/common/charsets.h"
#include "core/read/appledouble.h"
#include "core/stored_import.h"
#include "core/write/hfs_writer.h"
#include "core/write/safe_name.h"
#include "core/write/server_name.h"
#include "platform/platform.h"

namespace veskar {

namespace fs = std::filesystem;

namespace cli {

namespace {

SourceOutcome Failure(const std::string& given, ImportResult result, std::string detail) {
    SourceOutcome outcome;
    outcome.source = given;
    outcome.result = result;
    outcome.report.detail = std::move(detail);
    return outcome;
}

Job FailedJob(const std::string& given, std::string detail) {
    Job job;
    job.given = given;
    job.failed = Failure(given, ImportResult::CannotOpen, std::move(detail));
    return job;
}

std::uint64_t SizeOf(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

std::string Joined(const std::string& given, const std::string& relative) {
    if (given.empty() || platform::IsSeparator(given.back())) return given + relative;
    return given + "/" + relative;
}

// A zip archive unpacked on another system keeps macOS's companions in a tree of their own;
// they are read with their data files and never converted alone.
bool IsZipCompanion(std::string_view relative) {
    if (!IsAppleDoubleCompanion(relative)) return false;
    const std::size_t nameAt = relative.rfind('/') + 1;  // 0 when there is no '/'
    for (std::size_t at = 0; at < nameAt;) {
        const std::size_t end = relative.find('/', at);
        if (relative.substr(at, end - at) == kZipCompanionFolder) return true;
        at = end + 1;
    }
    return false;
}

// Whether a folder's path, relative to the walked folder, lies in a "__MACOSX" tree: it holds
// companions, never a folder of its own to make.
bool InZipCompanionTree(std::string_view relative) {
    for (std::size_t at = 0; at < relative.size();) {
        const std::size_t end = std::min(relative.find('/', at), relative.size());
        if (relative.substr(at, end - at) == kZipCompanionFolder) return true;
        at = end + 1;
    }
    return false;
}

// The path, relative to the walked folder, of what a "__MACOSX" companion belongs to: the
// companion's path without its "__MACOSX/" and its "._".
std::string ZipCounterpart(std::string_view relative) {
    const std::size_t nameAt = relative.rfind('/') + 1;
    std::string counterpart;
    for (std::size_t at = 0; at < nameAt;) {
        const std::size_t end = relative.find('/', at);
        if (relative.substr(at, end - at) != kZipCompanionFolder)
            counterpart += std::string(relative.substr(at, end + 1 - at));
        at = end + 1;
    }
    return counterpart + std::string(relative.substr(nameAt + 2));
}

bool IsRealFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

// True when `folder` is `target` or lies below it: outputs may then land in the folders
// that a walk from `folder` reads.
bool ReachesIntoTarget(const fs::path& folder, const fs::path& target) {
    for (fs::path at = folder;; at = at.parent_path()) {
        if (SameFile(at, target)) return true;
        if (at.empty() || at == at.parent_path()) return false;
    }
}

bool WrittenSince(const fs::path& file, fs::file_time_type since) {
    std::error_code error;
    const auto written = fs::last_write_time(file, error);
    return !error && written >= since;
}

}  // namespace

std::string FindCompanion(const std::string& file, const std::string& root) {
    const std::string beside = AppleDoubleCompanionPath(file);
    if (Exists(platform::PathOfNative(beside))) return {};
    const fs::path path = platform::PathOfNative(file);
    const fs::path top = platform::PathOfNative(root);
    const fs::path companionName =
        platform::PathOfNative(AppleDoubleCompanionPath(platform::NativeOfPath(path.filename())));
    for (fs::path folder = path.parent_path();; folder = folder.parent_path()) {
        const fs::path below = path.parent_path().lexically_relative(folder);
        fs::path candidate = folder / kZipCompanionFolder;
        if (below != ".") candidate /= below;
        candidate /= companionName;
        if (Exists(candidate)) return platform::NativeOfPath(candidate);
        if (SameFile(folder, top) || folder == folder.parent_path() || folder.empty()) break;
    }
    return {};
}

struct JobList::Walk {
    Walk(fs::path folder, std::string asGiven, const fs::path& target)
        : folders(folder, std::string(kZipCompanionFolder)),
          root(std::move(folder)),
          given(std::move(asGiven)) {
        // Files written since the walk began are this run's outputs, not sources: without
        // this, a target that is the source folder would convert its own outputs again.
        readsOutputs = ReachesIntoTarget(root, target);
        began = fs::file_time_type::clock::now();
    }
    FolderWalk folders;
    fs::path root;
    std::string given;
    bool readsOutputs = false;
    fs::file_time_type began;
};

JobList::JobList(const std::vector<std::string>& sources, const std::vector<std::string>& given,
                 bool recursive, const std::string& target, Detail detail, bool folders)
    : sources_(sources),
      given_(given),
      recursive_(recursive),
      target_(target),
      detail_(detail),
      folders_(folders) {}

JobList::~JobList() = default;

std::optional<Job> JobList::Next() {
    while (walk_ || next_ < sources_.size()) {
        if (walk_) {
            if (std::optional<Job> job = NextInWalk()) return job;
            walk_.reset();
            continue;
        }
        const std::size_t i = next_++;
        std::error_code error;
        const fs::path path = platform::PathOfNative(sources_[i]);
        if (fs::is_directory(path, error)) {
            if (!recursive_)
                return FailedJob(given_[i],
                                 "it is a folder (give -r to convert the files below it)");
            walk_ = std::make_unique<Walk>(path, given_[i], platform::PathOfNative(target_));
            continue;
        }
        Job job;
        job.source = sources_[i];
        job.given = given_[i];
        if (detail_ != Detail::SizesOnly)
            job.companion = FindCompanion(sources_[i], platform::NativeOfPath(path.parent_path()));
        if (detail_ != Detail::Companions) job.bytes = SizeOf(path);
        return job;
    }
    return std::nullopt;
}

// The next regular file of the folder being walked. A folder that cannot be read becomes a
// failure of its own, where it stands; the target's tree is left out.
std::optional<Job> JobList::NextInWalk() {
    Walk& walk = *walk_;
    while (std::optional<FolderWalk::Entry> entry = walk.folders.Next()) {
        switch (entry->kind) {
            case FolderWalk::Kind::Folder: {
                // netatalk 2 keeps each folder's headers in a folder of its own: never sources.
                const std::string name = platform::NativeOfPath(entry->path.filename());
                if (SameFile(entry->path, platform::PathOfNative(target_)) ||
                    IsLayoutFolder(name)) {
                    walk.folders.SkipFolder();
                    continue;
                }
                if (!folders_ || InZipCompanionTree(entry->relative)) continue;
                Job job;
                job.source = platform::NativeOfPath(entry->path);
                job.given = Joined(walk.given, entry->relative);
                job.isFolder = true;
                const std::size_t slash = entry->relative.rfind('/');
                if (slash != std::string::npos) job.folder = entry->relative.substr(0, slash + 1);
                job.informationOf = entry->relative.substr(job.folder.size());
                return job;
            }
            case FolderWalk::Kind::Unreadable:
                return FailedJob(walk.given, entry->relative.empty()
                                                 ? entry->error.message()
                                                 : "a folder below it cannot be read: " +
                                                       entry->error.message());
            case FolderWalk::Kind::Other:
                continue;
            case FolderWalk::Kind::Link: {
                Job job;
                job.given = Joined(walk.given, entry->relative);
                job.link = true;
                return job;
            }
            case FolderWalk::Kind::File:
                break;
        }
        if (walk.readsOutputs && WrittenSince(entry->path, walk.began)) continue;
        Job job;
        job.source = platform::NativeOfPath(entry->path);
        job.given = Joined(walk.given, entry->relative);
        const std::size_t slash = entry->relative.rfind('/');
        if (slash != std::string::npos) job.folder = entry->relative.substr(0, slash + 1);
        job.zipCompanion = IsZipCompanion(entry->relative);
        if (job.zipCompanion) {
            // A companion of a folder is that folder's own information.
            const std::string counterpart = ZipCounterpart(entry->relative);
            if (IsRealFolder(walk.root / platform::PathOfNative(counterpart))) {
                job.zipCompanion = false;
                const std::size_t cut = counterpart.rfind('/');
                job.folder = cut == std::string::npos ? "" : counterpart.substr(0, cut + 1);
                job.informationOf = counterpart.substr(job.folder.size());
            }
        }
        // Only a "__MACOSX" tree met on the way down can hold a companion found elsewhere
        // than beside the file, and the walk has seen every such tree.
        if (!job.zipCompanion && detail_ != Detail::SizesOnly && entry->markedAbove)
            job.companion = FindCompanion(job.source, platform::NativeOfPath(walk.root));
        if (detail_ != Detail::Companions) job.bytes = SizeOf(entry->path);
        return job;
    }
    return std::nullopt;
}

Totals CountJobs(const std::vector<std::string>& sources, const std::vector<std::string>& given,
                 bool recursive, const std::string& target) {
    Totals totals;
    JobList jobs(sources, given, recursive, target, JobList::Detail::SizesOnly);
    while (const std::optional<Job> job = jobs.Next()) {
        ++totals.files;
        totals.bytes += job->bytes;
    }
    return totals;
}

void OutputFolders::PlaceInImage(const Place& parent, const std::string& relative,
                                 const std::string& native, Place& place) {
    place.folder = parent.folder;
    std::string name = HfsNameOf(platform::NativeToUtf8(native));
    if (place.problem.empty() && !place.isNew) {
        const std::optional<hfs::Entry> there = image_->Find(parent.imageFolder, name);
        if (there && there->folder) {
            place.imageFolder = there->id;
            name = there->name;
        } else if (there) {
            place.problem = "a file on the volume is named as the folder " + native;
        } else if (dryRun_) {
            place.isNew = true;
        } else {
            hfs::NewEntry entry;
            entry.name = name;
            entry.dates = HfsDatesOf({});
            std::string why;
            if (const std::optional<hfs::CatalogId> made =
                    image_->AddFolder(parent.imageFolder, entry, why)) {
                place.imageFolder = *made;
                made_.insert(relative);
            } else {
                place.problem = "cannot make the folder " + native + " on the volume: " + why;
            }
        }
    }
    place.name = platform::Utf8ToNative(charsets::MacRomanToUtf8(name));
    place.relative = parent.relative + place.name + "/";
    place.madeByRun = place.isNew || made_.contains(relative);
}

const OutputFolders::Place& OutputFolders::For(const std::string& relative) {
    for (std::size_t i = 0; i < chain_.size(); ++i) {
        if (chain_[i].first != relative) continue;
        chain_.resize(i + 1);
        return chain_.back().second;
    }
    Place place;
    if (relative.empty()) {
        place.folder = target_;
        place.isNew = targetIsNew_;
        chain_.clear();
        chain_.emplace_back(relative, place);
        return chain_.back().second;
    }
    // The folder above first: its place decides where this one goes, and it ends the chain.
    const std::size_t cut = relative.find_last_of('/', relative.size() - 2);
    const std::string parentRelative = cut == std::string::npos ? "" : relative.substr(0, cut + 1);
    const Place parent = For(parentRelative);
    std::string name = relative.substr(parentRelative.size());
    name.pop_back();  // the '/'
    place.isNew = parent.isNew;
    place.problem = parent.problem;
    if (image_) {
        PlaceInImage(parent, relative, name, place);
        chain_.emplace_back(relative, std::move(place));
        return chain_.back().second;
    }
    if (storedName_)
        name = storedName_(name);
    else
        MakeSafeName(name);
    place.folder = platform::NativeOfPath(platform::PathOfNative(parent.folder) /
                                          platform::PathOfNative(name));
    if (place.problem.empty() && !place.isNew) {
        // What bears the name in other letters (in any script: "CAFÉ" beside "Café") is
        // taken as it is spelt there, as the platform's case-insensitive lookup finds it: NTFS
        // matches names whatever their letter case, and ntfs-3g does not, so a folder is used
        // rather than doubled, and outputs are reported as it is spelt.
        if (std::optional<std::string> spelt = platform::NameInFolder(parent.folder, name))
            name = std::move(*spelt);
        // Opened (and made when missing) inside the folder above as it is held, never through
        // a link: one planted where a folder is expected is refused, not followed.
        std::string why;
        bool made = false;
        switch (platform::HoldSubfolder(parent.folder, name, !dryRun_, place.folder, why, &made)) {
            case platform::Subfolder::Held:
                if (made) made_.insert(relative);
                break;
            case platform::Subfolder::Missing:
                place.isNew = true;
                break;
            case platform::Subfolder::Refused:
                place.problem = why;
                break;
        }
    }
    place.relative = parent.relative + name + "/";
    place.name = name;
    place.madeByRun = place.isNew || made_.contains(relative);
    chain_.emplace_back(relative, std::move(place));
    return chain_.back().second;
}

}  // namespace cli

}  // namespace veskar
