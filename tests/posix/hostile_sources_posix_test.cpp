// SPDX-License-Identifier: Apache-2.0
// Sources and targets that go wrong under an import's feet: sources that are no regular
// file, sources that vanish between the format probe and the import, a target volume that
// turns read-only or a target folder that vanishes in the middle of a batch, the command line
// interrupted in the middle of a BinHex staging, and a table of 65,535 entries. Each must end
// in a defined result with nothing partial left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/core/conversion_run.h"
#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/binhex/binhex_staging.h"
#include "core/read/macbinary.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"
#include "tests/work_folder.h"

namespace veskar {

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

template <ImportResult (*Import)(std::string_view, std::string_view, ImportReport*)>
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

// Changes a file at a set moment of a conversion, as another program working in the same
// folder could, without touching the converter: a fanotify listener (root only) is asked by
// the kernel before each open and each read of the file, makes the change while the
// converter waits, then lets the access go on. The first read comes from the format probe,
// which has the file open already and so still reads what was there; the next open after
// that read is the import's.
class FileChanger {
  public:
    enum class Change {
        Removed,           // at the probe's first read
        ReplacedByFolder,  // at the probe's first read
        Emptied,           // at the import's open: truncating acts on the file that is open
    };

    // nullptr, with `why`, where the kernel or the rights do not allow the listener.
    static std::unique_ptr<FileChanger> Watch(const std::string& path, Change change,
                                              std::string& why) {
        std::unique_ptr<FileChanger> changer(new FileChanger(path, change));
        changer->group_ =
            ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY | O_LARGEFILE);
        if (changer->group_ < 0 ||
            ::fanotify_mark(changer->group_, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_ACCESS_PERM,
                            AT_FDCWD, path.c_str()) != 0 ||
            ::pipe2(changer->stop_, O_CLOEXEC) != 0) {
            why = std::string("fanotify permission events: ") + std::strerror(errno);
            return nullptr;
        }
        changer->listener_ = std::thread([raw = changer.get()] { raw->Listen(); });
        return changer;
    }
    // Stops listening; closing the group lets any access still waiting go on.
    ~FileChanger() {
        if (listener_.joinable()) {
            EXPECT_EQ(::write(stop_[1], "x", 1), 1);
            listener_.join();
        }
        for (const int fd : {group_, stop_[0], stop_[1]})
            if (fd >= 0) ::close(fd);
    }
    FileChanger(const FileChanger&) = delete;
    FileChanger& operator=(const FileChanger&) = delete;

    bool Changed() const { return changed_; }

  private:
    FileChanger(std::string path, Change change) : path_(std::move(path)), change_(change) {}

    void Listen() {
        bool probeHasRead = false;
        alignas(fanotify_event_metadata) char buffer[4096];
        pollfd waits[2] = {{group_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        while (::poll(waits, 2, -1) >= 0 && !(waits[1].revents & POLLIN)) {
            ssize_t left = ::read(group_, buffer, sizeof buffer);
            auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
            for (; left > 0 && FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
                const bool read = (event->mask & FAN_ACCESS_PERM) != 0;
                const bool open = (event->mask & FAN_OPEN_PERM) != 0;
                if (!changed_ && (change_ == Change::Emptied ? open && probeHasRead : read))
                    Apply();
                probeHasRead = probeHasRead || read;
                const fanotify_response allow{event->fd, FAN_ALLOW};
                EXPECT_EQ(::write(group_, &allow, sizeof allow), ssize_t(sizeof allow));
                ::close(event->fd);
            }
        }
    }

    // Calls that open nothing: the listener must not wait for itself.
    void Apply() {
        std::error_code error;
        switch (change_) {
            case Change::Removed:
                fs::remove(path_, error);
                break;
            case Change::ReplacedByFolder:
                if (fs::remove(path_, error)) fs::create_directory(path_, error);
                break;
            case Change::Emptied:
                fs::resize_file(path_, 0, error);
                break;
        }
        EXPECT_FALSE(error) << path_ << ": " << error.message();
        changed_ = true;
    }

    std::string path_;
    Change change_;
    int group_ = -1;
    int stop_[2] = {-1, -1};
    std::thread listener_;
    std::atomic<bool> changed_{false};
};

enum class Kind { MacBinary, BinHex, AppleSingle, AppleDoubleData, AppleDoubleCompanion };

// Writes the source "victim" of this kind into `folder`, and says which path the command line
// is given and which file is changed.
std::pair<std::string, std::string> WriteVictim(Kind kind, const TempDir& folder) {
    namespace af = apple_fixtures;
    const MacFile victim = Sample("Victim");
    const std::vector<AppleEntry> header = {{af::kRealName, BytesOf(victim.name)},
                                            {af::kFinderInfo, FinderInfo("TEXTttxt")},
                                            {af::kResourceFork, victim.resource}};
    switch (kind) {
        case Kind::MacBinary:
            EXPECT_TRUE(WriteFile(folder.File("victim.bin"), EncodeMacBinary(victim)));
            return {folder.File("victim.bin"), folder.File("victim.bin")};
        case Kind::BinHex:
            EXPECT_TRUE(WriteFile(folder.File("victim.hqx"), BytesOf(EncodeBinHex(victim))));
            return {folder.File("victim.hqx"), folder.File("victim.hqx")};
        case Kind::AppleSingle:
            EXPECT_TRUE(WriteFile(folder.File("victim.as"),
                                  EncodeAppleSingle(With(header, {{af::kDataFork, victim.data}}))));
            return {folder.File("victim.as"), folder.File("victim.as")};
        case Kind::AppleDoubleData:
        case Kind::AppleDoubleCompanion:
            EXPECT_TRUE(WriteFile(folder.File("victim"), victim.data));
            EXPECT_TRUE(WriteFile(folder.File("._victim"), EncodeAppleDouble(header)));
            return {folder.File("victim"),
                    folder.File(kind == Kind::AppleDoubleData ? "victim" : "._victim")};
    }
    return {};
}

// veskar-convert in auto mode given three sources, the middle one removed, replaced by a
// folder or emptied after the probe has recognised it and before its import reads it (or, for
// an AppleDouble pair, its companion): that source ends as unopenable or with its format's own
// refusal, nothing of it reaches the target or stays beside the sources, and the sources
// before and after it convert whole. (An emptied AppleDouble data file is no failure: it is a
// data file with an empty data fork.) A MacBinary file is imported through the probe's own
// open file: what the probe read is what converts, whatever becomes of the name meanwhile.
TEST(HostileSources, SourceChangedBetweenTheProbeAndTheImport) {
    using Change = FileChanger::Change;
    const struct {
        const char* label;
        Kind kind;
        Change change;
        const char* result;
    } rows[] = {
        {"MacBinary removed", Kind::MacBinary, Change::Removed, "converted"},
        {"MacBinary replaced by a folder", Kind::MacBinary, Change::ReplacedByFolder, "converted"},
        {"BinHex removed", Kind::BinHex, Change::Removed, "cannot-open"},
        {"BinHex replaced by a folder", Kind::BinHex, Change::ReplacedByFolder, "cannot-open"},
        {"BinHex emptied", Kind::BinHex, Change::Emptied, "not-binhex"},
        {"AppleSingle removed", Kind::AppleSingle, Change::Removed, "cannot-open"},
        {"AppleSingle replaced by a folder", Kind::AppleSingle, Change::ReplacedByFolder,
         "cannot-open"},
        {"AppleSingle emptied", Kind::AppleSingle, Change::Emptied, "wrong-kind"},
        {"AppleDouble data file removed", Kind::AppleDoubleData, Change::Removed, "cannot-open"},
        {"AppleDouble data file replaced by a folder", Kind::AppleDoubleData,
         Change::ReplacedByFolder, "cannot-open"},
        {"AppleDouble companion removed", Kind::AppleDoubleCompanion, Change::Removed,
         "cannot-open"},
        {"AppleDouble companion replaced by a folder", Kind::AppleDoubleCompanion,
         Change::ReplacedByFolder, "cannot-open"},
        {"AppleDouble companion emptied", Kind::AppleDoubleCompanion, Change::Emptied,
         "wrong-kind"},
    };
    REQUIRE_NTFS(volume);
    TempDir temp;
    TempFolderOverride tempFolder(temp.Path());
    CurrentFolderGuard guard;  // reading the outputs back leaves it in the temporary folder
    const MacFile first = Sample("First"), last = Sample("Last", 5000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir sources;
        ASSERT_TRUE(WriteFile(sources.File("first.bin"), EncodeMacBinary(first)));
        ASSERT_TRUE(WriteFile(sources.File("last.hqx"), BytesOf(EncodeBinHex(last))));
        const auto [victim, changed] = WriteVictim(row.kind, sources);
        const std::set<std::string> before = Listing(sources.Path());
        const std::string target = volume->Path(RowName(row.label));
        ASSERT_TRUE(fs::create_directory(target));

        std::string why;
        auto changer = FileChanger::Watch(changed, row.change, why);
        if (!changer) {
            if (IsCi()) FAIL() << why;
            GTEST_SKIP() << "NO FANOTIFY (" << why << "): test skipped";
        }
        const ProgramRun run = RunProgram(
            VESKAR_CONVERT_PATH,
            {"--json", target, sources.File("first.bin"), victim, sources.File("last.hqx")});
        ASSERT_TRUE(changer->Changed()) << "the change was never made";
        changer.reset();

        const bool converted = std::string_view(row.result) == "converted";
        EXPECT_EQ(run.status, converted ? 0 : 1) << run.err;
        std::vector<std::string> lines;
        for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos;
             at = end + 1)
            lines.push_back(run.out.substr(at, end - at));
        ASSERT_EQ(lines.size(), 3u) << run.out;
        EXPECT_NE(lines[0].find("\"result\": \"converted\""), std::string::npos) << lines[0];
        EXPECT_NE(lines[1].find(std::string("\"result\": \"") + row.result + "\""),
                  std::string::npos)
            << lines[1];
        EXPECT_EQ(lines[1].find("\"output\"") != std::string::npos, converted) << lines[1];
        EXPECT_NE(lines[2].find("\"result\": \"converted\""), std::string::npos) << lines[2];
        EXPECT_EQ(run.err.find("veskar-convert: " + victim + ": ") != std::string::npos, !converted)
            << run.err;

        std::set<std::string> outputs{"First", "Last"};
        if (converted) outputs.insert("Victim");
        EXPECT_EQ(Listing(target), outputs);
        // No BinHex intermediate beside the sources, nothing staged in the temporary folder.
        std::set<std::string> after = before;
        if (row.change == Change::Removed) after.erase(fs::path(changed).filename().string());
        EXPECT_EQ(Listing(sources.Path()), after);
        EXPECT_TRUE(fs::is_empty(temp.Path()));
    }
    // The sources around the changed one were written whole, every time.
    for (const auto& row : rows) {
        const std::string folder = RowName(row.label) + "/";
        ExpectOutput(*volume, folder + "First", first.data, first.resource,
                     TypeCreatorBytes("TEXTttxt"));
        ExpectOutput(*volume, folder + "Last", last.data, last.resource,
                     TypeCreatorBytes("TEXTttxt"));
        if (std::string_view(row.result) == "converted") {
            const MacFile victim = Sample("Victim");
            ExpectOutput(*volume, folder + "Victim", victim.data, victim.resource,
                         TypeCreatorBytes("TEXTttxt"));
        }
    }
}

// The window's run over one list, the target folder replaced by another after the first
// source and gone after the second: nothing is written into the folder put in its place, and
// nothing is half there. (The run holds its folders open, so the volume itself cannot be
// unmounted under it; a read-only volume is met by separate imports below.)
NtfsVolume* batchVolume = nullptr;
int batchCalls = 0;
ImportResult ImportThenBreakTheTarget(std::string_view target, std::string_view source) {
    const ImportResult result = ImportMacBinary(target, source);
    ++batchCalls;
    if (batchCalls == 1) {
        fs::rename(batchVolume->Path("out"), batchVolume->Path("first run"));
        fs::create_directory(batchVolume->Path("out"));
    } else if (batchCalls == 2) {
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
    // The first converted into the folder the run began with; the second met another folder
    // in its place, the third no folder at all, and neither was written anywhere.
    EXPECT_EQ(Listing(volume->Root()), (std::set<std::string>{"first run", "first run/first"}));
    EXPECT_TRUE(fs::exists(sources.File("first.bin")));
    fs::remove_all(volume->Path("first run"));

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

// veskar-convert killed by SIGINT or SIGTERM while it decodes a large BinHex file: with
// --strict while it stages it (the intermediates beside the source, the staging file and any
// half-written output are gone), and in one pass while it writes the output (gone too).
TEST(HostileInterrupts, CommandLineInterruptedInTheMiddleOfABinHexStaging) {
    REQUIRE_NTFS(volume, 256);
    TempDir sources, temp, logs;
    const std::string source = sources.File("big.hqx");
    const std::string log = logs.File("err");
    ASSERT_TRUE(WriteFile(source, BytesOf(EncodeBinHex(Sample("Big", 24u << 20)))));
    for (const bool strict : {true, false})
        for (const int signal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(strict ? "strict, " : "one pass, ") +
                         (signal == SIGINT ? "SIGINT" : "SIGTERM"));
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::setenv("TMPDIR", temp.Path().c_str(), 1);
                // As from an interactive shell: a test runner may have set the signals
                // ignored, which the program rightly leaves as they are.
                ::signal(SIGINT, SIG_DFL);
                ::signal(SIGTERM, SIG_DFL);
                const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (err >= 0) ::dup2(err, STDERR_FILENO);
                ::execl(VESKAR_CONVERT_PATH, VESKAR_CONVERT_PATH, "-q", strict ? "--strict" : "-q",
                        volume->Root().c_str(), source.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            // The first intermediate appears beside the source once the staging has begun;
            // the output, in the work folder, once the one pass is writing it.
            const auto begun = [&] {
                return strict ? fs::exists(sources.File("big.bqx"))
                              : OutputUnderWay(volume->Root());
            };
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!begun() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            ASSERT_TRUE(begun());
            ::kill(child, signal);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status))
                << "not ended by the signal: exit status "
                << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << "; left "
                << ::testing::PrintToString(Listing(sources.Path()));
            EXPECT_EQ(WTERMSIG(status), signal);
            // One line says what was interrupted, and that nothing of it was left.
            const Bytes said = ReadFile(log);
            EXPECT_EQ(std::string(said.begin(), said.end()),
                      "veskar-convert: interrupted while converting " + source +
                          ": nothing of its output was left\n");
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

}  // namespace veskar
