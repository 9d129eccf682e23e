// SPDX-License-Identifier: Apache-2.0
// Moving a Mac file server: a tree converted into each layout, then moved with --verify from
// each layout into each other one (sfm on a real NTFS volume through ntfs-3g, the others on
// the local file system), reads back as the tree it came from, as far as both layouts keep
// it. netatalk 2 trees made with the suite's own encoding of its headers; a resumed run; and
// a read-back that catches an output that is not what was written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "core/common/copy_fork.h"
#include "core/stored_import.h"
#include "tests/apple_encoder.h"
#include "tests/apple_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"
#include "tests/whole_file_sources.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;
namespace wf = whole_file;

struct Kept {
    Bytes data, resource;
    FinderInformation finderInfo{};
    std::optional<std::int64_t> modified, created, backedUp;
    std::string comment;
    std::map<std::string, Bytes> attributes;
    bool operator==(const Kept&) const = default;
};

// What a file keeps, said shortly, for a failure's message.
std::string Said(const Kept& kept) {
    std::string said = "data " + std::to_string(kept.data.size()) + ", resource " +
                       std::to_string(kept.resource.size()) + ", info";
    for (const std::uint8_t byte : kept.finderInfo)
        said += " " + std::to_string(byte);
    for (const auto& date : {kept.modified, kept.created, kept.backedUp})
        said += ", " + (date ? std::to_string(*date) : std::string("-"));
    said +=
        ", comment " + kept.comment + ", " + std::to_string(kept.attributes.size()) + " attributes";
    return said;
}

Bytes ForkBytes(const ForkPlace& place) {
    std::vector<std::uint8_t> bytes;
    std::string detail;
    EXPECT_EQ(ReadPlacedFork(place, bytes, "a fork", detail), CopyStatus::Done) << detail;
    return bytes;
}

bool IsBlankMap(const Bytes& fork) {
    constexpr std::string_view kText = "This resource fork intentionally left blank";
    return fork.size() == 286 && std::string(fork.begin() + 16, fork.begin() + 16 + 43) == kText;
}

bool IsLayoutFile(const std::string& name) {
    return name.starts_with("._") || name == ".AppleDouble" || name.starts_with(".veskar-");
}

// Every file of the tree at `root`, kept in `layout`, by its path of Mac names, with what
// `keeps` (the layouts compared both keep) of it.
std::map<std::string, Kept> TreeOf(StoredLayout layout, const std::string& root,
                                   const LayoutKeeps& keeps) {
    std::map<std::string, Kept> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string name = it->path().filename().string();
        if (IsLayoutFile(name)) {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory()) continue;
        const std::string relative = fs::relative(it->path(), root).string();
        const std::string folder = relative.substr(0, relative.size() - name.size());
        const auto refusal =
            ReadStored(layout, it->path().string(),
                       [&](const MacFileReading& reading, const StoredIdentities&) {
                           const MacFileDescription& file = reading.file;
                           Kept& kept = tree[folder + NameAsUtf8(file)];
                           kept.data = ForkBytes(file.data);
                           kept.resource = ForkBytes(file.resource);
                           // macOS's empty resource map, which a "._" file
                           // with attributes holds when there is no fork.
                           if (IsBlankMap(kept.resource)) kept.resource.clear();
                           kept.finderInfo = file.finderInfo;
                           kept.modified = file.dates.modified;
                           if (keeps.created) kept.created = file.dates.created;
                           if (keeps.backedUp) kept.backedUp = file.dates.backedUp;
                           if (keeps.comment) kept.comment = file.comment;
                           if (keeps.attributes)
                               for (const auto& attribute : file.extendedAttributes)
                                   if (attribute.name != wf::kLongName)
                                       kept.attributes[attribute.name] = attribute.value;
                       });
        EXPECT_FALSE(refusal) << relative << ": " << refusal->detail;
    }
    return tree;
}

LayoutKeeps Both(StoredLayout a, StoredLayout b) {
    const LayoutKeeps x = KeptBy(a), y = KeptBy(b);
    return {.modified = x.modified && y.modified,
            .created = x.created && y.created,
            .backedUp = x.backedUp && y.backedUp,
            .comment = x.comment && y.comment,
            .attributes = x.attributes && y.attributes};
}

struct Row {
    std::string word;
    StoredLayout layout;
};
const std::array<Row, 5> kLayouts{{{"sfm", StoredLayout::Sfm},
                                   {"fruit", StoredLayout::Fruit},
                                   {"appledouble", StoredLayout::AppleDouble},
                                   {"streams-xattr", StoredLayout::StreamsXattr},
                                   {"netatalk2", StoredLayout::Netatalk2}}};

// A folder in memory (tmpfs keeps an attribute of 64 KiB, where ext4 keeps some 4 KiB a
// file): the streams-xattr layout keeps a resource fork in one.
class MemoryFolder {
  public:
    MemoryFolder() {
        char name[] = "/dev/shm/veskar-moves-XXXXXX";
        if (::mkdtemp(name)) path_ = name;
    }
    ~MemoryFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    MemoryFolder(const MemoryFolder&) = delete;
    MemoryFolder& operator=(const MemoryFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The whole-file sources, every shared sample, and names that the layouts store each their
// own way.
void MakeTree(const TempDir& dir) {
    wf::MakeSources(dir);
    if (const std::string samples = SamplesDir();
        !samples.empty() && fs::create_directory(dir.File("samples")))
        for (const std::string kind : {"macbinary", "applesingle", "binhex", "appledouble"})
            fs::copy(samples + "/" + kind, dir.File("samples/" + kind),
                     fs::copy_options::recursive);
    for (const std::string name : {"?.rsrc", "a/b", "Icon\r", ".hidden"}) {
        MacFile file;
        file.name = name;
        file.data = PatternBytes(300, 7);
        file.resource = PatternBytes(60, 8);
        std::string stored = name;
        std::replace(stored.begin(), stored.end(), '/', '_');
        WriteFile(dir.File("n" + std::to_string(stored.size()) + stored[0] + ".bin"),
                  EncodeMacBinary(file));
    }
}

// What a server volume holds besides Mac files: a file without Mac information, and an empty
// folder.
void AddPlainFile(const std::string& tree) {
    WriteFile(tree + "/plain.txt", BytesOf("no Mac information"));
    fs::create_directory(tree + "/Empty");
}

ProgramRun Move(const std::string& from, const std::string& to, const std::string& target,
                const std::string& source, std::vector<std::string> more = {"-q"}) {
    std::vector<std::string> args = {"-r", "--verify", "-f", from, "--layout", to};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(target);
    args.push_back(source);
    return RunProgram(VESKAR_CONVERT_PATH, args);
}

}  // namespace

TEST(ServerMoves, EveryLayoutIntoEveryOtherReadsBackWhole) {
    std::string why;
    const auto volume = NtfsVolume::Make(64, &why);
    if (!volume) GTEST_SKIP() << why;
    TempDir sources;
    MemoryFolder local;
    ASSERT_FALSE(local.Path().empty());
    MakeTree(sources);
    const auto home = [&](const Row& row, const std::string& name) {
        return row.layout == StoredLayout::Sfm ? volume->Path(name) : local.File(name);
    };
    for (const Row& row : kLayouts) {
        fs::create_directory(home(row, row.word));
        const ProgramRun run =
            RunProgram(VESKAR_CONVERT_PATH,
                       {"-q", "-r", "--layout", row.word, home(row, row.word), sources.Path()});
        ASSERT_EQ(run.status, 0) << row.word << run.err;
        AddPlainFile(home(row, row.word));
    }
    for (const Row& from : kLayouts)
        for (const Row& to : kLayouts) {
            if (from.word == to.word) continue;
            const std::string target = home(to, from.word + "-to-" + to.word);
            fs::create_directory(target);
            const ProgramRun run = Move(from.word, to.word, target, home(from, from.word));
            EXPECT_EQ(run.status, 0) << from.word << " -> " << to.word << ": " << run.err;
            const LayoutKeeps keeps = Both(from.layout, to.layout);
            const auto before = TreeOf(from.layout, home(from, from.word), keeps);
            const auto after = TreeOf(to.layout, target, keeps);
            EXPECT_GE(before.size(), 30u) << from.word;
            EXPECT_EQ(after.size(), before.size()) << from.word << " -> " << to.word;
            for (auto [name, kept] : before) {
                const auto found = after.find(name);
                ASSERT_NE(found, after.end()) << from.word << " -> " << to.word << ": " << name;
                // netatalk 2 keeps nothing of a plain file but the file: no header is made.
                const bool plain = kept.resource.empty() && kept.comment.empty() &&
                                   kept.attributes.empty() &&
                                   kept.finderInfo == FinderInformation{};
                if (plain && to.layout == StoredLayout::Netatalk2) kept.created.reset();
                // A date the source lacks, the layout may give (NTFS always keeps one).
                Kept got = found->second;
                if (!kept.created) got.created.reset();
                if (!kept.backedUp) got.backedUp.reset();
                EXPECT_TRUE(got == kept) << Said(kept) << " != " << Said(got) << ": " << from.word
                                         << " -> " << to.word << ": " << name;
            }
            EXPECT_TRUE(fs::is_directory(target + "/Empty")) << from.word << " -> " << to.word;
        }
}

TEST(ServerMoves, Netatalk2TreeMovesWithItsHeadersAndEscapedNames) {
    TempDir old, moved;
    const auto header = [](const std::string& name, const std::string& typeCreator,
                           const Bytes& resource) {
        std::vector<AppleEntry> entries = {{apple_fixtures::kRealName, BytesOf(name)},
                                           {4, BytesOf("A comment")},
                                           {8, Bytes{0x2B, 0xC1, 0xD4, 0xB4, 0x2B, 0xC1, 0xD4, 0xF0,
                                                     0x80, 0, 0, 0, 0x80, 0, 0, 0}},
                                           {apple_fixtures::kFinderInfo, FinderInfo(typeCreator)},
                                           {14, Bytes{0, 0, 0, 0}},
                                           {0x80444556, PatternBytes(8, 1)},
                                           {0x80494E4F, PatternBytes(8, 2)},
                                           {0x8053594E, PatternBytes(8, 3)},
                                           {0x8053567E, PatternBytes(4, 4)},
                                           {apple_fixtures::kResourceFork, resource}};
        return EncodeAppleDouble(entries, {.homeFileSystem = "Netatalk"});
    };
    fs::create_directories(old.File(".AppleDouble"));
    fs::create_directories(old.File("Sub/.AppleDouble"));
    WriteFile(old.File("a:2fb"), BytesOf("slashed"));
    WriteFile(old.File(".AppleDouble/a:2fb"), header("", "TEXTttxt", PatternBytes(40, 5)));
    WriteFile(old.File("Report"), BytesOf("report"));
    WriteFile(old.File(".AppleDouble/Report"), header("Report", "WDBNMSWD", {}));
    WriteFile(old.File("Sub/Inner"), BytesOf("inner"));
    WriteFile(old.File("Sub/.AppleDouble/Inner"), header("Inner", "APPLdude", PatternBytes(9, 6)));
    WriteFile(old.File("Sub/.AppleDouble/.Parent"), header("Sub", "", {}));
    // A data file older than its header's modification date is served with the header's.
    const timespec old2001[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, old.File("a:2fb").c_str(), old2001, 0), 0);
    const ProgramRun run = Move("netatalk2", "fruit", moved.Path(), old.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    // The escape decoded, as a Mac client's name through Samba keeps a '/'.
    const auto tree = TreeOf(StoredLayout::Fruit, moved.Path(), KeptBy(StoredLayout::Fruit));
    ASSERT_TRUE(tree.contains("a/b"));
    EXPECT_EQ(tree.at("a/b").resource, PatternBytes(40, 5));
    EXPECT_EQ(tree.at("a/b").comment, "A comment");
    EXPECT_EQ(tree.at("a/b").created, std::int64_t{0x2BC1D4B4} + 946684800);
    EXPECT_EQ(tree.at("a/b").modified, std::int64_t{0x2BC1D4F0} + 946684800);
    EXPECT_EQ(
        std::string(tree.at("Report").finderInfo.begin(), tree.at("Report").finderInfo.begin() + 8),
        "WDBNMSWD");
    EXPECT_EQ(tree.at("Sub/Inner").resource, PatternBytes(9, 6));
    EXPECT_FALSE(fs::exists(moved.File(".AppleDouble")));
    EXPECT_FALSE(fs::exists(moved.File("Sub/.Parent")));
    EXPECT_TRUE(fs::exists(moved.File("._Sub")));

    // Back into netatalk 2: the same headers' places, the name escaped again.
    TempDir back;
    ASSERT_EQ(Move("fruit", "netatalk2", back.Path(), moved.Path()).status, 0);
    EXPECT_EQ(ReadFile(back.File("a:2fb")), BytesOf("slashed"));
    EXPECT_EQ(ReadFile(back.File(".AppleDouble/a:2fb")).size(), 741u + 40u);
    EXPECT_TRUE(fs::exists(back.File("Sub/.AppleDouble/.Parent")));
}

TEST(ServerMoves, ResumedRunsPassOverWhatReadsBackAndVerifyCatchesADifference) {
    TempDir sources, fruit, moved;
    MakeTree(sources);
    ASSERT_EQ(RunProgram(VESKAR_CONVERT_PATH,
                         {"-q", "-r", "--layout", "fruit", fruit.Path(), sources.Path()})
                  .status,
              0);
    AddPlainFile(fruit.Path());
    ASSERT_EQ(Move("fruit", "netatalk2", moved.Path(), fruit.Path()).status, 0);
    // One output lost, one changed behind the run's back: the rerun adds the first again,
    // and writes the second anew beside what no longer reads back as its source.
    fs::remove(moved.File("Dated"));
    WriteFile(moved.File(".AppleDouble/tagged"),
              EncodeAppleDouble({{apple_fixtures::kFinderInfo, FinderInfo("XXXXyyyy")}}));
    const ProgramRun rerun =
        Move("fruit", "netatalk2", moved.Path(), fruit.Path(), {"--skip-existing", "--json"});
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_NE(rerun.out.find(R"("result": "exists", "code": 0, "output": "plain.txt")"),
              std::string::npos)
        << rerun.out;
    EXPECT_NE(rerun.out.find(R"(/Dated", "result": "converted")"), std::string::npos) << rerun.out;
    EXPECT_NE(rerun.out.find(R"(/tagged", "result": "converted")"), std::string::npos) << rerun.out;
    EXPECT_NE(rerun.out.find(R"(/Album/Inner", "result": "exists")"), std::string::npos);

    // A read-back that finds the output not as its source fails it and removes it: a Mac
    // name that no Linux name can be (".") comes back as another.
    TempDir odd;
    MacFile dot;
    dot.name = ".";
    dot.resource = PatternBytes(30, 9);
    WriteFile(sources.File("dot.bin"), EncodeMacBinary(dot));
    const ProgramRun caught =
        RunProgram(VESKAR_CONVERT_PATH,
                   {"--verify", "--layout", "fruit", odd.Path(), sources.File("dot.bin")});
    EXPECT_EQ(caught.status, 1);
    EXPECT_NE(caught.err.find("the output did not read back as the source: the output read back "
                              "differs from the source in the name"),
              std::string::npos)
        << caught.err;
    EXPECT_TRUE(fs::is_empty(odd.Path()));
}

}  // namespace veskar
