// A source whose file system answers a read with an I/O error part-way (a damaged disk, a
// vanished network file) is a failure, read-failed, never a short output reported converted:
// an error is injected at each read an import makes, through a small FUSE file system that
// fails reads of one file past an offset, and nothing may be left in the target or the
// temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "binhex/binhex_staging.h"
#include "containers/appledouble.h"
#include "containers/applesingle.h"
#include "containers/macbinary.h"
#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/start_program_posix.h"
#include "tests/run_program.h"

namespace {

namespace fs = std::filesystem;
namespace af = apple_fixtures;

const std::string kFileSystem =
    std::string(VESKAR_PROJECT_DIR) + "/tests/posix/failing_reads_fs.py";

// The files of `folder`, read back through a mount where reads of `failing` fail from
// `offset` on. Unmounted, and its process gone, at the end of the scope.
class FailingReads {
  public:
    FailingReads(const std::string& folder, const std::string& failing, std::uint64_t offset)
        : mountPoint_(folder + ".mnt") {
        fs::create_directory(mountPoint_);
        struct stat before {};
        ::stat(mountPoint_.c_str(), &before);
        pid_ = StartProgram("/usr/bin/python3",
                            {kFileSystem, folder, mountPoint_, failing, std::to_string(offset)}, "",
                            {});
        for (int tries = 0; pid_ > 0 && tries < 100 && !mounted_; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            struct stat now {};
            mounted_ = ::stat(mountPoint_.c_str(), &now) == 0 && now.st_dev != before.st_dev;
        }
    }
    ~FailingReads() {
        if (mounted_) RunCommand("umount " + ShellQuote(mountPoint_) + " 2>/dev/null");
        if (pid_ > 0) {
            if (!mounted_) ::kill(pid_, SIGTERM);
            WaitForProgram(pid_);
        }
        std::error_code ignored;
        fs::remove(mountPoint_, ignored);
    }
    FailingReads(const FailingReads&) = delete;
    FailingReads& operator=(const FailingReads&) = delete;

    bool Mounted() const { return mounted_; }
    std::string File(const std::string& name) const { return mountPoint_ + "/" + name; }

  private:
    std::string mountPoint_;
    pid_t pid_ = -1;
    bool mounted_ = false;
};

// Why the failing file system cannot run here; empty when it can.
std::string Unavailable() {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is not usable";
    if (!RunCommand("/usr/bin/python3 -c 'import fusepy' 2>/dev/null"))
        return "python3-fusepy is not installed";
    return {};
}

// Where the descriptor of entry `id` places its bytes, from the encoded image.
std::uint32_t EntryOffset(const Bytes& image, std::uint32_t id) {
    const auto field = [&](std::size_t at) {
        return std::uint32_t{image[at]} << 24 | std::uint32_t{image[at + 1]} << 16 |
               std::uint32_t{image[at + 2]} << 8 | image[at + 3];
    };
    const std::size_t count = std::size_t{image[24]} << 8 | image[25];
    for (std::size_t i = 0; i < count; ++i)
        if (field(26 + 12 * i) == id) return field(26 + 12 * i + 4);
    return 0;
}

MacFile Sample() {
    MacFile file;
    file.name = "Damaged";
    file.data = PatternBytes(100000, 5);
    file.resource = PatternBytes(50000, 6);
    return file;
}

using Import = std::function<ImportResult(const std::string& target, const std::string& folder,
                                          ImportReport& report)>;

struct ReadCase {
    const char* label;
    std::vector<std::pair<std::string, Bytes>> files;  // written to the source folder
    std::string failing;                               // the file whose reads fail
    std::uint64_t offset;                              // from here on
    Import import;
};

std::vector<ReadCase> Cases() {
    const MacFile file = Sample();
    const Bytes macBinary = EncodeMacBinary(file);
    // More descriptors than the 256-byte header block holds, so the table is read on.
    std::vector<AppleEntry> entries = {{af::kRealName, BytesOf("Damaged")},
                                       {af::kFinderInfo, FinderInfo("TEXTttxt")},
                                       {af::kDataFork, file.data},
                                       {af::kResourceFork, file.resource}};
    for (std::uint32_t id = 100; id < 121; ++id)
        entries.push_back({id, BytesOf("x")});
    const Bytes single = EncodeAppleSingle(entries);
    const Bytes companion = EncodeAppleDouble({{af::kRealName, BytesOf("Damaged")},
                                               {af::kFinderInfo, FinderInfo("TEXTttxt")},
                                               {af::kResourceFork, file.resource}});
    const std::string text = EncodeBinHex(file);
    const Import macbinary = [](const std::string& target, const std::string& folder,
                                ImportReport& report) {
        return ImportMacBinary(target, folder + "/a.bin", &report);
    };
    const Import applesingle = [](const std::string& target, const std::string& folder,
                                  ImportReport& report) {
        return ImportAppleSingle(target, folder + "/a.as", &report);
    };
    const Import appledouble = [](const std::string& target, const std::string& folder,
                                  ImportReport& report) {
        return ImportAppleDouble(target, folder + "/pair", &report);
    };
    const Import binhex = [](const std::string& target, const std::string& folder,
                             ImportReport& report) {
        return ImportBinHex(target, folder + "/a.hqx", &report);
    };
    const std::pair<std::string, Bytes> pair[] = {{"pair", file.data}, {"._pair", companion}};
    const std::vector<std::pair<std::string, Bytes>> pairFiles(std::begin(pair), std::end(pair));
    return {
        {"MacBinary header", {{"a.bin", macBinary}}, "a.bin", 0, macbinary},
        {"MacBinary data fork", {{"a.bin", macBinary}}, "a.bin", 60000, macbinary},
        {"MacBinary resource fork", {{"a.bin", macBinary}}, "a.bin", 128 + 100096 + 100, macbinary},
        {"AppleSingle header", {{"a.as", single}}, "a.as", 0, applesingle},
        {"AppleSingle table past the block", {{"a.as", single}}, "a.as", 256, applesingle},
        {"AppleSingle name entry",
         {{"a.as", single}},
         "a.as",
         EntryOffset(single, af::kRealName),
         applesingle},
        {"AppleSingle Finder info",
         {{"a.as", single}},
         "a.as",
         EntryOffset(single, af::kFinderInfo),
         applesingle},
        {"AppleSingle data fork",
         {{"a.as", single}},
         "a.as",
         EntryOffset(single, af::kDataFork) + 60000,
         applesingle},
        {"AppleDouble companion header", pairFiles, "._pair", 0, appledouble},
        {"AppleDouble name entry", pairFiles, "._pair", EntryOffset(companion, af::kRealName),
         appledouble},
        {"AppleDouble data file", pairFiles, "pair", 60000, appledouble},
        {"AppleDouble resource fork", pairFiles, "._pair",
         EntryOffset(companion, af::kResourceFork) + 100, appledouble},
        {"BinHex identification", {{"a.hqx", BytesOf(text)}}, "a.hqx", 0, binhex},
        {"BinHex text", {{"a.hqx", BytesOf(text)}}, "a.hqx", text.size() / 2, binhex},
    };
}

TEST(ReadFailure, AtEveryReadOfEachImportFailsAndLeavesNothing) {
    if (const std::string why = Unavailable(); !why.empty()) {
        if (IsCi()) FAIL() << "the failing file system cannot run under CI: " << why;
        GTEST_SKIP() << "NO FAILING FILE SYSTEM (" << why << "): test skipped";
    }
    REQUIRE_NTFS(volume);
    const CurrentFolderGuard guard;
    for (const ReadCase& row : Cases()) {
        SCOPED_TRACE(row.label);
        TempDir work;
        const std::string folder = work.File("src");
        fs::create_directory(folder);
        fs::create_directory(work.File("tmp"));
        for (const auto& [name, bytes] : row.files)
            ASSERT_TRUE(WriteFile(folder + "/" + name, bytes));
        const TempFolderOverride temp(work.File("tmp"));
        ImportReport report;
        ImportResult result;
        {
            const FailingReads reads(folder, row.failing, row.offset);
            ASSERT_TRUE(reads.Mounted());
            result = row.import(volume->Root(), folder + ".mnt", report);
            ASSERT_TRUE(platform::SetCurrentFolder(work.Path()));
        }
        EXPECT_EQ(result, ImportResult::ReadFailed) << report.detail;
        EXPECT_EQ(FilesOnVolume(*volume), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(work.File("tmp")));
    }
}

// The command line names the failure and its code, and exits 1.
TEST(ReadFailure, CommandLineReportsReadFailed) {
    if (const std::string why = Unavailable(); !why.empty()) {
        if (IsCi()) FAIL() << "the failing file system cannot run under CI: " << why;
        GTEST_SKIP() << "NO FAILING FILE SYSTEM (" << why << "): test skipped";
    }
    REQUIRE_NTFS(volume);
    TempDir work;
    fs::create_directory(work.File("src"));
    ASSERT_TRUE(WriteFile(work.File("src/a.bin"), EncodeMacBinary(Sample())));
    const FailingReads reads(work.File("src"), "a.bin", 60000);
    ASSERT_TRUE(reads.Mounted());
    const ProgramRun run =
        RunProgram(VESKAR_CONVERT_PATH, {"--json", volume->Root(), reads.File("a.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"result\": \"read-failed\", \"code\": -5"), std::string::npos)
        << run.out;
    EXPECT_EQ(FilesOnVolume(*volume), std::vector<std::string>{});
}

}  // namespace
