// SPDX-License-Identifier: Apache-2.0
// The sources of a run as a list of files: folders given with -r are walked, the folders
// below them mapped to folders below the target, and each AppleDouble data file told where
// its companion is (beside it, or in the "__MACOSX" tree of an unpacked zip archive).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/report.h"
#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace cli {

constexpr std::string_view kZipCompanionFolder = "__MACOSX";

struct Job {
    std::string source;         // absolute native path
    std::string given;          // how lines name it: as given, or the folder given and below
    std::string folder;         // below the walked folder, '/'-separated, ending in '/'; or empty
    std::string companion;      // its AppleDouble companion's path; empty for the one beside
    bool zipCompanion = false;  // found under "__MACOSX": only ever read with its data file
    // Found under "__MACOSX" for a folder: the source is that folder's own information, and
    // this the folder's name in `folder`.
    std::string informationOf;
    // A folder met in a walk that reads a server's layout: the source is the folder, whose own
    // information the layout keeps; `informationOf` names it in `folder`.
    bool isFolder = false;
    bool link = false;        // a symbolic link met in a walk: passed over, not followed
    std::uint64_t bytes = 0;  // its size, for the progress display (not with Detail::Companions)
    std::optional<SourceOutcome> failed;  // the source cannot be converted at all
};

// The jobs of a run, one at a time: each source in the order given, a folder's files in the
// order of their paths, so that runs are repeatable. Only the folders being walked are held,
// never the list of files. `sources` are absolute, `given` as the user wrote them; both
// must outlive the object. The target folder's own tree is never walked, so that a target
// inside a source folder does not convert its own outputs.
class JobList {
  public:
    enum class Detail {
        Full,        // every field
        SizesOnly,   // no companions looked for: enough for the totals
        Companions,  // no sizes: enough for a run that shows no progress
    };
    // `folders`: every folder below a walked one is a job of its own, before what it holds (a
    // server's layout is read as a tree).
    JobList(const std::vector<std::string>& sources, const std::vector<std::string>& given,
            bool recursive, const std::string& target, Detail detail = Detail::Full,
            bool folders = false);
    ~JobList();
    JobList(const JobList&) = delete;
    JobList& operator=(const JobList&) = delete;

    std::optional<Job> Next();  // nullopt after the last job

  private:
    struct Walk;
    std::optional<Job> NextInWalk();

    const std::vector<std::string>& sources_;
    const std::vector<std::string>& given_;
    bool recursive_;
    std::string target_;
    Detail detail_;
    bool folders_;
    std::size_t next_ = 0;        // the next source to take
    std::unique_ptr<Walk> walk_;  // the folder source being walked, if any
};

// How many jobs there are and how many bytes they hold, for the progress display: one walk
// through everything before the run.
struct Totals {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};
Totals CountJobs(const std::vector<std::string>& sources, const std::vector<std::string>& given,
                 bool recursive, const std::string& target);

// Where the AppleDouble companion of `file` is: beside it, else under "__MACOSX" in its
// folder or any folder above it up to `root`; empty when none of them exists.
std::string FindCompanion(const std::string& file, const std::string& root);

// The folders below the target that outputs go into, made (or, in a trial run, only looked
// for) as the walk reaches them. Names are made safe as output names are; a folder that is
// there already in another letter case is used, as NTFS would. Only the folders above the
// last one asked for are remembered: the walk finishes a folder before it moves on.
class OutputFolders {
  public:
    // `storedName`, when given, names the folders as the layout stores names (a Mac
    // client's on a Linux server, netatalk 2's: core/write/server_name.h), not made safe for
    // Windows.
    using StoredName = std::string (*)(std::string_view);
    // `targetIsNew`: a trial run into a target folder that is not there yet; `target` is then
    // the folder that stands in for it (the nearest one there).
    OutputFolders(std::string target, bool dryRun, StoredName storedName = nullptr,
                  bool targetIsNew = false)
        : target_(std::move(target)),
          dryRun_(dryRun),
          storedName_(storedName),
          targetIsNew_(targetIsNew) {}
    // The folders are those of an HFS volume image: made in its catalog, not on the disk;
    // `folder` of every place is then the target (the folder holding the image).
    void InImage(hfs::Volume* volume) { image_ = volume; }
    hfs::Volume* Image() const { return image_; }
    struct Place {
        std::string folder;                             // absolute: where the import writes
        hfs::CatalogId imageFolder = hfs::kRootFolder;  // in an image: the folder there
        bool isNew = false;      // only in a trial run: the folder is not there yet
        std::string problem;     // why it cannot be made; empty when it can
        std::string relative;    // native, relative to the target, ending in '/'
        std::string name;        // native, in the folder above; empty for the target
        bool madeByRun = false;  // made by this run (in a trial run: would be)
    };
    // `relative` is the folder below the walked one, '/'-separated, ending in '/' or empty.
    // The place stays valid until the next call.
    const Place& For(const std::string& relative);

  private:
    // The place of a folder in the image (found, or made, unless in a trial run).
    void PlaceInImage(const Place& parent, const std::string& relative, const std::string& native,
                      Place& place);

    std::string target_;
    bool dryRun_;
    StoredName storedName_;
    bool targetIsNew_;
    hfs::Volume* image_ = nullptr;
    // The last folder asked for and every folder above it, the target first.
    std::vector<std::pair<std::string, Place>> chain_;
    // The folders this run made, as asked for.
    std::set<std::string> made_;
};

}  // namespace cli

}  // namespace veskar
