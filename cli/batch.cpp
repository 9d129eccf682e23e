#include "cli/batch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "containers/appledouble.h"
#include "containers/sfm_output.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr std::string_view kCompanionPrefix = "._";

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

// Every regular file below `root`, in name order so that runs are repeatable. Folders that
// cannot be read become failures of their own; the target's tree is left out.
void Walk(const fs::path& root, const std::string& given, const fs::path& target,
          std::vector<Job>& jobs) {
    std::vector<Job> found;
    std::error_code error;
    fs::recursive_directory_iterator it(root, error), end;
    if (error) {
        jobs.push_back(FailedJob(given, error.message()));
        return;
    }
    for (; it != end; it.increment(error)) {
        if (error) {
            found.push_back(
                FailedJob(given, "a folder below it cannot be read: " + error.message()));
            error.clear();
            continue;
        }
        const fs::directory_entry& entry = *it;
        const fs::path relative = entry.path().lexically_relative(root);
        if (entry.is_directory(error)) {
            if (SameFile(entry.path(), target)) it.disable_recursion_pending();
            continue;
        }
        if (!entry.is_regular_file(error)) continue;  // sockets, pipes, dangling links
        Job job;
        job.source = entry.path().string();
        job.given = Joined(given, relative.generic_string());
        const std::string folder = relative.parent_path().generic_string();
        job.folder = folder.empty() ? "" : folder + "/";
        // A zip archive unpacked on another system keeps macOS's companions in a tree of
        // their own; they are read with their data files and never converted alone.
        const auto first = relative.begin();
        job.zipCompanion =
            std::any_of(first, relative.end(),
                        [](const fs::path& part) { return part == kZipCompanionFolder; }) &&
            relative.filename().string().starts_with(kCompanionPrefix);
        if (!job.zipCompanion) job.companion = FindCompanion(job.source, root.string());
        job.bytes = SizeOf(entry.path());
        found.push_back(std::move(job));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Job& a, const Job& b) { return a.given < b.given; });
    jobs.insert(jobs.end(), std::make_move_iterator(found.begin()),
                std::make_move_iterator(found.end()));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string FindCompanion(const std::string& file, const std::string& root) {
    const std::string beside = AppleDoubleCompanionPath(file);
    if (Exists(beside)) return {};
    const fs::path path(file);
    const fs::path top(root);
    const std::string companionName = std::string(kCompanionPrefix) + path.filename().string();
    for (fs::path folder = path.parent_path();; folder = folder.parent_path()) {
        const fs::path below = path.parent_path().lexically_relative(folder);
        fs::path candidate = folder / kZipCompanionFolder;
        if (below != ".") candidate /= below;
        candidate /= companionName;
        if (Exists(candidate)) return candidate.string();
        if (SameFile(folder, top) || folder == folder.parent_path() || folder.empty()) break;
    }
    return {};
}

std::vector<Job> ListJobs(const std::vector<std::string>& sources,
                          const std::vector<std::string>& given, bool recursive,
                          const std::string& target) {
    std::vector<Job> jobs;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        std::error_code error;
        const fs::path path(sources[i]);
        if (fs::is_directory(path, error)) {
            if (!recursive) {
                jobs.push_back(
                    FailedJob(given[i], "it is a folder (give -r to convert the files below it)"));
                continue;
            }
            Walk(path, given[i], fs::path(target), jobs);
            continue;
        }
        Job job;
        job.source = sources[i];
        job.given = given[i];
        job.companion = FindCompanion(sources[i], path.parent_path().string());
        job.bytes = SizeOf(path);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

const OutputFolders::Place& OutputFolders::For(const std::string& relative) {
    if (auto it = known_.find(relative); it != known_.end()) return it->second;
    Place place;
    if (relative.empty()) {
        place.folder = target_;
        return known_.emplace(relative, place).first->second;
    }
    // The folder above first: its place decides where this one goes.
    const std::size_t cut = relative.find_last_of('/', relative.size() - 2);
    const std::string parentRelative = cut == std::string::npos ? "" : relative.substr(0, cut + 1);
    const Place parent = For(parentRelative);
    std::string name = relative.substr(parentRelative.size());
    name.pop_back();  // the '/'
    MakeSafeName(name);
    place.isNew = parent.isNew;
    place.problem = parent.problem;
    if (place.problem.empty() && !place.isNew) {
        const fs::path folder(parent.folder);
        std::error_code error;
        if (!fs::is_directory(folder / name, error)) {
            // NTFS matches names whatever their letter case; ntfs-3g does not, so a folder
            // that is there in other letters is found here rather than doubled.
            if (platform::NameTakenInFolder(parent.folder, name)) {
                for (const auto& entry : fs::directory_iterator(folder, error))
                    if (SameIgnoringCase(entry.path().filename().string(), name) &&
                        entry.is_directory(error))
                        name = entry.path().filename().string();
            }
            if (!fs::is_directory(folder / name, error)) {
                if (Exists(folder / name))
                    place.problem =
                        "a file " + (folder / name).string() + " is where its folder would be";
                else if (dryRun_)
                    place.isNew = true;
                else if (!fs::create_directory(folder / name, error))
                    place.problem = "the folder " + (folder / name).string() +
                                    " cannot be created: " + error.message();
            }
        }
    }
    place.folder = (fs::path(parent.folder) / name).string();
    place.relative = parent.relative + name + "/";
    return known_.emplace(relative, place).first->second;
}

}  // namespace cli
