// SPDX-License-Identifier: Apache-2.0
// The command line's folder walk: the order of paths whatever the size of a folder (a folder
// of more names than one reading keeps is read several times), and what it leaves out.
#include "cli/folder_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/scratch_folder.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

using Kind = cli::FolderWalk::Kind;

void Touch(const fs::path& path) {
    std::ofstream(path).put('x');
}

// Every file below `root`, by a walk of the standard library's own, as relative paths in
// byte order: the order the command line has always converted a tree in.
std::vector<std::string> SortedFiles(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path().lexically_relative(root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FolderWalk, HandsOutEveryPathInNameOrderAcrossManyReadings) {
    ScratchFolder scratch;
    const fs::path& root = scratch.Path();
    // More names than one reading keeps, made in an order of their own, in the root and in a
    // folder below it, so that a folder is read again both before and after a descent.
    const std::size_t many = cli::FolderWalk::kNamesPerReading * 2 + 300;
    fs::create_directory(root / "m big");
    for (std::size_t i = 0; i < many; ++i) {
        const std::size_t n = (i * 7919) % many;
        Touch(root / ("f" + std::to_string(n)));
        if (i % 2 == 0) Touch(root / "m big" / ("g" + std::to_string(n)));
    }
    // A folder's files sort as if its name ended in '/': "a-c" ('-' is below '/') comes
    // before "a/b", and "a0" ('0' is above it) after. Capitals sort before "_" and small
    // letters; none of the names is another's in other letters, which Windows would not hold.
    fs::create_directories(root / "a" / "deep");
    for (const char* name : {"a-c", "a0", "a/b", "a/deep/z", "a/0", "Z", "_"})
        Touch(root / name);
    fs::create_directory(root / "empty");

    cli::FolderWalk walk(root);
    std::vector<std::string> files;
    std::vector<std::string> folders;
    while (const auto entry = walk.Next()) {
        ASSERT_NE(entry->kind, Kind::Unreadable) << entry->relative << ": " << entry->error;
        EXPECT_EQ(entry->path, root / fs::path(entry->relative)) << entry->relative;
        if (entry->kind == Kind::File) files.push_back(entry->relative);
        if (entry->kind == Kind::Folder) folders.push_back(entry->relative);
    }
    EXPECT_EQ(files, SortedFiles(root));
    EXPECT_EQ(files.size(), many + many / 2 + 7);
    EXPECT_EQ(folders, (std::vector<std::string>{"a", "a/deep", "empty", "m big"}));
}

TEST(FolderWalk, SkipsWhatItIsToldToAndReportsARootItCannotRead) {
    ScratchFolder scratch;
    const fs::path& root = scratch.Path();
    fs::create_directories(root / "out" / "below");
    Touch(root / "out" / "below" / "x");
    Touch(root / "out" / "y");
    Touch(root / "z");
    cli::FolderWalk walk(root);
    std::vector<std::string> seen;
    while (const auto entry = walk.Next()) {
        seen.push_back(entry->relative);
        if (entry->relative == "out") walk.SkipFolder();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"out", "z"}));

    cli::FolderWalk missing(root / "missing");
    const auto entry = missing.Next();
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->kind, Kind::Unreadable);
    EXPECT_EQ(entry->relative, "");
    EXPECT_TRUE(entry->error);
    EXPECT_FALSE(missing.Next().has_value());
}

}  // namespace

}  // namespace veskar
