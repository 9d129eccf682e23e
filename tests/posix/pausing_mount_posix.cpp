// SPDX-License-Identifier: Apache-2.0
#include "tests/posix/pausing_mount.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/mac_fixtures.h"
#include "tests/posix/start_program_posix.h"

namespace veskar {

namespace {

// Debian's interpreter, which python3-fusepy serves; a python3 earlier in PATH may lack it.
constexpr const char* kPython = "/usr/bin/python3";

// Whether the child ends within `seconds`; reaped when it does.
bool EndsWithin(pid_t child, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (int status; ::waitpid(child, &status, WNOHANG) != child;) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

bool PausingMount::Mounted() const {
    struct stat point, parent;
    return ::stat(Path("").c_str(), &point) == 0 && ::stat(dir_.c_str(), &parent) == 0 &&
           point.st_dev != parent.st_dev;
}

std::unique_ptr<PausingMount> PausingMount::Make(const std::string& backing,
                                                 const std::vector<Pause>& pauses,
                                                 std::string& why) {
    char templ[] = "/tmp/veskar-pausing-XXXXXX";
    if (::access("/dev/fuse", R_OK | W_OK) != 0 ||
        !RunCommand(std::string(kPython) + " -c 'import fusepy' 2>/dev/null") ||
        ::mkdtemp(templ) == nullptr) {
        why = "no usable /dev/fuse, or no python3-fusepy";
        return nullptr;
    }
    std::unique_ptr<PausingMount> mount(new PausingMount);
    mount->dir_ = templ;
    std::vector<std::string> args{std::string(VESKAR_PROJECT_DIR) + "/tests/posix/pausing_fs.py",
                                  backing, mount->Path(""), mount->dir_ + "/control"};
    for (const Pause& pause : pauses)
        args.insert(args.end(), {pause.pattern, std::to_string(pause.at)});
    const std::string errors = mount->dir_ + "/errors";
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (::mkdir(mount->Path("").c_str(), 0700) == 0 &&
        ::mkdir((mount->dir_ + "/control").c_str(), 0700) == 0)
        mount->process_ = StartProgram(kPython, args, "", {-1, -1, err});
    if (err >= 0) ::close(err);
    for (int wait = 0; mount->process_ > 0 && !mount->Mounted() && wait < 1000; ++wait) {
        if (EndsWithin(mount->process_, 0)) mount->process_ = -1;  // gone: reaped, not ended
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!mount->Mounted()) {
        const Bytes said = ReadFile(errors);
        why = "the file system did not come up: " + std::string(said.begin(), said.end());
        return nullptr;  // its process is ended on the way out
    }
    return mount;
}

std::optional<std::string> PausingMount::WaitForPause(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(Control("paused"))) {
            const Bytes path = ReadFile(Control("paused"));
            return std::string(path.begin(), path.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

void PausingMount::Resume() {
    WriteFile(Control("go"), {});
}

void PausingMount::SetReadOnly(bool readOnly) {
    if (readOnly)
        WriteFile(Control("readonly"), {});
    else
        std::filesystem::remove(Control("readonly"));
}

PausingMount::~PausingMount() {
    // A write still paused would hold the unmount: it is let go, through a mount that no
    // longer refuses changes.
    std::error_code ignored;
    std::filesystem::remove(Control("readonly"), ignored);
    if (std::filesystem::exists(Control("paused"), ignored)) Resume();
    for (int attempt = 0; attempt < 10 && Mounted() && ::umount2(Path("").c_str(), 0) != 0;
         ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Mounted()) ::umount2(Path("").c_str(), MNT_DETACH);
    // Unmounted, the process ends by itself; if not, it is ended by its id.
    if (process_ > 0 && !EndsWithin(process_, 5)) {
        ::kill(process_, SIGTERM);
        if (!EndsWithin(process_, 2)) {
            ::kill(process_, SIGKILL);
            EndsWithin(process_, 5);
        }
    }
    // Through a mount still there, removing would reach the backing folder.
    if (!dir_.empty() && !Mounted()) std::filesystem::remove_all(dir_, ignored);
}

}  // namespace veskar
