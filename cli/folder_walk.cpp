// SPDX-License-Identifier: Apache-2.0
#include "cli/folder_walk.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace veskar {

namespace fs = std::filesystem;

namespace cli {

FolderWalk::FolderWalk(fs::path root, std::string marked) : marked_(std::move(marked)) {
    Level level;
    level.folder = std::move(root);
    levels_.push_back(std::move(level));
}

bool FolderWalk::Read(Level& level, std::error_code& error) {
    level.names.clear();
    level.at = 0;
    // A max-heap of the smallest keys after `after` seen so far: its top is the one to drop
    // when a smaller key comes along.
    const auto byKey = [](const Name& a, const Name& b) { return a.key < b.key; };
    const auto take = [&](std::string_view native, fs::file_type type) {
        const bool folder = type == fs::file_type::directory;
        if (folder && !marked_.empty() && native == marked_) level.marked = true;
        // Most entries of a large folder come before `after`: a name that sorts before it
        // without being a start of it does so whatever its key adds, and makes no key.
        const std::string_view after = level.after;
        if (native < after && !after.starts_with(native)) return;
        Name name{std::string(native), type};
        if (folder) name.key.push_back('/');
        if (name.key <= level.after) return;
        if (level.names.size() < kNamesPerReading) {
            level.names.push_back(std::move(name));
            std::push_heap(level.names.begin(), level.names.end(), byKey);
        } else if (name.key < level.names.front().key) {
            std::pop_heap(level.names.begin(), level.names.end(), byKey);
            level.names.back() = std::move(name);
            std::push_heap(level.names.begin(), level.names.end(), byKey);
        }
    };
    if (!platform::ListFolder(level.folder, take, error)) return false;
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

}  // namespace veskar
