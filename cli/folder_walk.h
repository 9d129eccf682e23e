// SPDX-License-Identifier: Apache-2.0
// A walk over a folder tree in the order of the paths' names, in memory that does not grow
// with the number of entries. A folder is not read whole: each reading keeps only the next
// few hundred names after the last one handed out, so a folder of any size costs a bounded
// list per level being walked, at the price of reading a large folder more than once.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace veskar {

namespace cli {

class FolderWalk {
  public:
    enum class Kind {
        File,        // a regular file
        Folder,      // a real folder (not a link), entered next unless SkipFolder is called
        Link,        // a symbolic link, to anything: never followed, so no loop, nothing outside
        Unreadable,  // a folder that could not be read; `error` says why
        Other,       // anything else: pipes, sockets, devices
    };
    struct Entry {
        std::filesystem::path path;
        std::string relative;  // below the root, '/'-separated; empty for the root itself
        Kind kind = Kind::Other;
        std::error_code error;
        // A folder named as `marked` stands in the entry's folder or in one above it.
        bool markedAbove = false;
    };

    // `marked`: a folder name whose presence each entry reports (none when empty).
    explicit FolderWalk(std::filesystem::path root, std::string marked = {});

    // The next entry, nullopt when the walk is over. The order is that of the relative paths
    // as byte strings, so every file below a folder comes before the folder's next sibling.
    // The root is never handed out itself, only when it cannot be read (as Unreadable).
    std::optional<Entry> Next();
    // The folder that Next just handed out is not entered.
    void SkipFolder() { enterPending_ = false; }

    // Names kept from one reading of a folder.
    static constexpr std::size_t kNamesPerReading = 2048;

  private:
    struct Name {
        std::string key;  // the name, with a '/' after a folder's: the order of paths
        std::filesystem::file_type type = std::filesystem::file_type::unknown;  // not followed
    };
    struct Level {
        std::filesystem::path folder;
        std::string relative;  // ending in '/', or empty for the root
        std::string after;     // the key of the last name handed out
        std::vector<Name> names;
        std::size_t at = 0;
        bool complete = false;  // `names` holds the folder's last names
        bool marked = false;    // the folder holds a folder named `marked_`
    };

    // Reads the level's folder again for the next names after `after`.
    bool Read(Level& level, std::error_code& error);

    std::string marked_;
    std::vector<Level> levels_;
    std::filesystem::path pendingFolder_;
    std::string pendingRelative_;
    bool enterPending_ = false;
};

}  // namespace cli

}  // namespace veskar
