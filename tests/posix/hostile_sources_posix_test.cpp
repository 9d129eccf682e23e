// Sources and targets that go wrong under an import's feet: sources that are no regular
// file, a target volume that turns read-only or a target folder that vanishes in the middle
// of a batch, the command line interrupted in the middle of a BinHex staging, and a table of
// 65,535 entries. Each must end in a defined result with nothing partial left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/conversion_run.h"
#include "binhex/binhex_staging.h"
#include "containers/appledouble.h"
#include "containers/applesingle.h"
#include "containers/macbinary.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

MacFile Sample(const std::string& name, std::size_t dataBytes = 300) {
    MacFile file;
    file.name = name;
    file.type = "TEXT";
    file.creator = "ttxt";
    file.data = PatternBytes(dataBytes, 21);
    file.resource = PatternBytes(40, 22);
    return file;
}

template <auto Import>
ImportResult Unreported(std::string_view target, std::string_view source) {
    return Import(target, source, nullptr);
}

struct Operation {
    const char* label;
    ImportOperation import;
};
const Operation kImports[] = {
    {"MacBinary", &Unreported<&ImportMacBinary>},
    {"AppleSingle", &Unreported<&ImportAppleSingle>},
    {"AppleDouble", &Unreported<&ImportAppleDouble>},
    {"BinHex", &Unreported<&ImportBinHex>},
};

// A folder or a FIFO given as a source is refused as unopenable, at once: a FIFO without a
// writer would otherwise hold the import forever.
TEST(HostileSources, FoldersAndFifosAreRefusedWithoutWaiting) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard folder;
    TempDir sources;
    const std::string dir = sources.File("a folder");
    const std::string fifo = sources.File("a fifo");
    ASSERT_TRUE(fs::create_directory(dir));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const Operation& op : kImports) {
        for (const std::string& source : {dir, fifo}) {
            EXPECT_EQ(op.import(volume->Root(), source), ImportResult::CannotOpen)
                << op.label << " " << source;
        }
    }
    // A regular data file whose companion is a FIFO.
    ASSERT_TRUE(WriteFile(sources.File("pair"), BytesOf("data")));
    ASSERT_EQ(::mkfifo(sources.File("._pair").c_str(), 0600), 0);
    EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File("pair")), ImportResult::CannotOpen);
    EXPECT_TRUE(fs::is_empty(volume->Root()));

    const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, {"--json", volume->Root(), fifo, dir});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_EQ(run.out.find("\"converted\""), std::string::npos) << run.out;
}

// The window's run over one list, the volume turning read-only after the first source and
// the target folder vanishing after the second: what could not be written is not there, and
// nothing is half there.
NtfsVolume* batchVolume = nullptr;
int batchCalls = 0;
ImportResult ImportThenBreakTheTarget(std::string_view target, std::string_view source) {
    const ImportResult result = ImportMacBinary(target, source);
    ++batchCalls;
    if (batchCalls == 1) {
        // Leave the volume before remounting it: a process inside it keeps it busy.
        ::chdir("/");
        EXPECT_TRUE(batchVolume->Unmount());
        EXPECT_TRUE(batchVolume->Mount(/*readOnly=*/true));
    } else if (batchCalls == 2) {
        ::chdir("/");
        EXPECT_TRUE(batchVolume->Unmount());
        EXPECT_TRUE(batchVolume->Mount());
        fs::remove_all(batchVolume->Path("out"));
    }
    return result;
}

class Recorded : public SourceList, public EnabledControl {
  public:
    explicit Recorded(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    std::size_t Count() const override { return paths_.size(); }
    std::string FirstText() const override { return paths_.front(); }
    void DeleteFirst() override { paths_.erase(paths_.begin()); }
    void SetEnabled(bool) override {}

  private:
    std::vector<std::string> paths_;
};

TEST(HostileTargets, ReadOnlyVolumeAndVanishedFolderInTheMiddleOfABatch) {
    REQUIRE_NTFS(volume);
    TempDir sources;
    std::vector<std::string> paths;
    for (const char* name : {"first", "second", "third"}) {
        paths.push_back(sources.File(std::string(name) + ".bin"));
        ASSERT_TRUE(WriteFile(paths.back(), EncodeMacBinary(Sample(name))));
    }
    ASSERT_TRUE(fs::create_directory(volume->Path("out")));
    {
        CurrentFolderGuard folder;
        batchVolume = volume.get();
        batchCalls = 0;
        Recorded list(paths);
        RunConversion(list, list, volume->Path("out"), &ImportThenBreakTheTarget, false);
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_EQ(batchCalls, 3);
    }
    // The first converted; the second met a read-only volume; the third no folder at all,
    // and was not written anywhere else either.
    EXPECT_EQ(Listing(volume->Root()), (std::set<std::string>{}));
    EXPECT_TRUE(fs::exists(sources.File("first.bin")));

    // Each of those failures, as the import reports it.
    ASSERT_TRUE(fs::create_directory(volume->Path("out")));
    CurrentFolderGuard folder;
    ASSERT_EQ(ImportMacBinary(volume->Path("out"), paths[0]), ImportResult::Converted);
    ::chdir("/");
    ASSERT_TRUE(volume->Unmount());
    ASSERT_TRUE(volume->Mount(/*readOnly=*/true));
    EXPECT_EQ(ImportMacBinary(volume->Path("out"), paths[1]), ImportResult::WriteFailed);
    EXPECT_EQ(Listing(volume->Path("out")), (std::set<std::string>{"first"}));
    ::chdir("/");
    ASSERT_TRUE(volume->Unmount());
    ASSERT_TRUE(volume->Mount());
    fs::remove_all(volume->Path("out"));
    EXPECT_EQ(ImportMacBinary(volume->Path("out"), paths[2]), ImportResult::WriteFailed);
    EXPECT_TRUE(fs::is_empty(volume->Root()));
}

// veskar-convert killed by SIGINT or SIGTERM while it stages a large BinHex file: the
// intermediates beside the source, the staging file and any half-written output are gone.
TEST(HostileInterrupts, CommandLineInterruptedInTheMiddleOfABinHexStaging) {
    REQUIRE_NTFS(volume, 256);
    TempDir sources, temp;
    const std::string source = sources.File("big.hqx");
    ASSERT_TRUE(WriteFile(source, BytesOf(EncodeBinHex(Sample("Big", 24u << 20)))));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("TMPDIR", temp.Path().c_str(), 1);
            // As from an interactive shell: a test runner may have set the signals ignored,
            // which the program rightly leaves as they are.
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            ::execl(VESKAR_CONVERT_PATH, VESKAR_CONVERT_PATH, "-q", volume->Root().c_str(),
                    source.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // The first intermediate appears beside the source once the staging has begun.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!fs::exists(sources.File("big.bqx")) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ASSERT_TRUE(fs::exists(sources.File("big.bqx")));
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status))
            << "not ended by the signal: exit status "
            << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << "; left "
            << ::testing::PrintToString(Listing(sources.Path()));
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(Listing(sources.Path()), (std::set<std::string>{"big.hqx"}));
        EXPECT_TRUE(fs::is_empty(temp.Path()));
        EXPECT_TRUE(fs::is_empty(volume->Root()));
    }
}

// A table of 65,535 descriptors, all but the forks of an id that is skipped: every one is
// read, the later data-fork entry wins, and the output is whole.
TEST(HostileTables, AppleSingleWith65535Entries) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard folder;
    TempDir sources;
    namespace af = apple_fixtures;
    std::vector<AppleEntry> entries;
    entries.push_back({af::kDataFork, BytesOf("early data")});
    while (entries.size() < 65533)
        entries.push_back({0x80000001u, Bytes{}});
    entries.push_back({af::kRealName, BytesOf("Many entries")});
    entries.push_back({af::kDataFork, BytesOf("the last data fork")});
    const std::string source = sources.File("many.as");
    ASSERT_TRUE(WriteFile(source, EncodeAppleSingle(entries)));
    ASSERT_EQ(ImportAppleSingle(volume->Root(), source), ImportResult::Converted);
    ::chdir("/");
    EXPECT_EQ(volume->ReadStream("Many entries"), "the last data fork");
}

}  // namespace
