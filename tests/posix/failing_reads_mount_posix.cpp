#include "tests/posix/failing_reads_mount.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/start_program_posix.h"

namespace {

// Debian's own interpreter, which its python3-fusepy package serves (a python3 earlier in
// PATH may be another installation without it).
constexpr const char* kPython = "/usr/bin/python3";

using Clock = std::chrono::steady_clock;

// Whether the child has ended within `limit`; reaps it when it has.
bool EndedWithin(pid_t child, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    do {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

}  // namespace

bool FailingReadsMount::Mounted() const {
    struct stat point, parent;
    return ::stat(mountPoint_.c_str(), &point) == 0 && ::stat(dir_.c_str(), &parent) == 0 &&
           point.st_dev != parent.st_dev;
}

std::unique_ptr<FailingReadsMount> FailingReadsMount::Make(const std::string& backing,
                                                           const std::vector<Rule>& rules,
                                                           std::string& why) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why = "/dev/fuse is not usable";
        return nullptr;
    }
    if (!RunCommand(std::string(kPython) + " -c 'import fusepy' 2>/dev/null")) {
        why = "python3-fusepy is not installed";
        return nullptr;
    }
    char templ[] = "/tmp/veskar-failing-reads-XXXXXX";
    if (::mkdtemp(templ) == nullptr) {
        why = "cannot make a temporary folder";
        return nullptr;
    }
    std::unique_ptr<FailingReadsMount> mount(new FailingReadsMount);
    mount->dir_ = templ;
    mount->mountPoint_ = mount->dir_ + "/mnt";
    const std::string errors = mount->dir_ + "/fs.err";
    if (::mkdir(mount->mountPoint_.c_str(), 0700) != 0) {
        why = "cannot make the mount point";
        return nullptr;
    }

    std::vector<std::string> args{
        std::string(VESKAR_PROJECT_DIR) + "/tests/posix/failing_reads_fs.py", backing,
        mount->mountPoint_};
    for (const Rule& rule : rules) {
        args.push_back(rule.pattern);
        args.push_back(std::to_string(rule.from));
    }
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    mount->process_ = StartProgram(kPython, args, "", {-1, -1, err});
    if (err >= 0) ::close(err);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (mount->process_ > 0 && !mount->Mounted() && Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(mount->process_, &status, WNOHANG) == mount->process_) {
            mount->process_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!mount->Mounted()) {
        const Bytes said = ReadFile(errors);
        why = "the file system did not come up: " + std::string(said.begin(), said.end());
        return nullptr;  // the destructor ends the process if it still runs
    }
    return mount;
}

FailingReadsMount::~FailingReadsMount() {
    // A mount still busy for a moment (a closing descriptor) is retried, then detached, so
    // that it never outlives the test.
    for (int attempt = 0; attempt < 10 && Mounted(); ++attempt) {
        if (::umount2(mountPoint_.c_str(), 0) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (Mounted()) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    // Unmounted, the file system's process ends by itself; otherwise it is ended by its id.
    if (process_ > 0 && !EndedWithin(process_, std::chrono::seconds(5))) {
        ::kill(process_, SIGTERM);
        if (!EndedWithin(process_, std::chrono::seconds(2))) {
            ::kill(process_, SIGKILL);
            EndedWithin(process_, std::chrono::seconds(5));
        }
    }
    // Removed only once nothing is mounted there: through a mount it would reach the backing.
    std::error_code ignored;
    if (!dir_.empty() && !Mounted()) std::filesystem::remove_all(dir_, ignored);
}
