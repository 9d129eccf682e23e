#include "cli/folder_walk.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

// The entry's own type, links not followed. The tests go through the type the folder's
// listing gave where there is one, which spares a system call per entry.
fs::file_type TypeOf(const fs::directory_entry& entry) {
    std::error_code error;
    if (entry.is_symlink(error)) return fs::file_type::symlink;
    if (error) return fs::file_type::unknown;
    if (entry.is_directory(error)) return fs::file_type::directory;
    if (entry.is_regular_file(error)) return fs::file_type::regular;
    return fs::file_type::unknown;  // anything else counts alike
}

}  // namespace

FolderWalk::FolderWalk(fs::path root, std::string marked) : marked_(std::move(marked)) {
    Level level;
    level.folder = std::move(root);
    levels_.push_back(std::move(level));
}

bool FolderWalk::Read(Level& level, std::error_code& error) {
    level.names.clear();
    level.at = 0;
    fs::directory_iterator it(level.folder, error), end;
    if (error) return false;
    // A max-heap of the smallest keys after `after` seen so far: its top is the one to drop
    // when a smaller key comes along.
    const auto byKey = [](const Name& a, const Name& b) { return a.key < b.key; };
    for (; it != end; it.increment(error)) {
        const fs::file_type type = TypeOf(*it);
        Name name{platform::NativeOfPath(it->path().filename()), type};
        if (type == fs::file_type::directory) {
            if (!marked_.empty() && name.key == marked_) level.marked = true;
            name.key.push_back('/');
        }
        if (name.key <= level.after) continue;
        if (level.names.size() < kNamesPerReading) {
            level.names.push_back(std::move(name));
            std::push_heap(level.names.begin(), level.names.end(), byKey);
        } else if (name.key < level.names.front().key) {
            std::pop_heap(level.names.begin(), level.names.end(), byKey);
            level.names.back() = std::move(name);
            std::push_heap(level.names.begin(), level.names.end(), byKey);
        }
    }
    // A failed step ends the iteration as its end would.
    if (error) return false;
    level.complete = level.names.size() < kNamesPerReading;
    std::sort_heap(level.names.begin(), level.names.end(), byKey);
    return true;
}

std::optional<FolderWalk::Entry> FolderWalk::Next() {
    if (std::exchange(enterPending_, false)) {
        Level level;
        level.folder = std::move(pendingFolder_);
        level.relative = std::move(pendingRelative_);
        levels_.push_back(std::move(level));
    }
    while (!levels_.empty()) {
        Level& level = levels_.back();
        if (level.at == level.names.size()) {
            if (level.complete) {
                levels_.pop_back();
                continue;
            }
            std::error_code error;
            if (!Read(level, error)) {
                Entry failed{level.folder, level.relative, Kind::Unreadable, error};
                if (!failed.relative.empty()) failed.relative.pop_back();  // the '/'
                levels_.pop_back();
                return failed;
            }
            if (level.names.empty()) {
                levels_.pop_back();
                continue;
            }
        }
        Name& name = level.names[level.at++];
        level.after = name.key;
        const bool folder = name.key.back() == '/';
        std::string own = folder ? name.key.substr(0, name.key.size() - 1) : name.key;
        Entry entry{
            level.folder / platform::PathOfNative(own), level.relative + own, Kind::Other, {}};
        entry.markedAbove =
            std::any_of(levels_.begin(), levels_.end(), [](const Level& l) { return l.marked; });
        if (folder) {
            entry.kind = Kind::Folder;
            pendingFolder_ = entry.path;
            pendingRelative_ = entry.relative + "/";
            enterPending_ = true;
        } else if (name.type == fs::file_type::regular) {
            entry.kind = Kind::File;
        } else if (name.type == fs::file_type::symlink) {
            entry.kind = Kind::Link;
        }
        return entry;
    }
    return std::nullopt;
}

}  // namespace cli
