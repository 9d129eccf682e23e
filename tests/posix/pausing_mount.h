// SPDX-License-Identifier: Apache-2.0
// A folder seen through the tests' FUSE file system pausing_fs.py, whose writes a test can
// pause (to act while an output is half written) and whose changes it can make fail with
// EROFS. Mounted in a temporary folder of its own; unmounted, its process ended by its id,
// when the object goes (also when a test fails), a paused write let go first.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/ntfs_volume.h"

namespace veskar {

class PausingMount {
  public:
    struct Pause {
        std::string pattern;  // fnmatch, against a path below the mount point or its last name
        std::uint64_t at;     // the first write that reaches this offset waits
    };
    // nullptr, with `why`, where FUSE or python3-fusepy is missing or it does not come up.
    static std::unique_ptr<PausingMount> Make(const std::string& backing,
                                              const std::vector<Pause>& pauses, std::string& why);
    ~PausingMount();
    std::string Path(const std::string& relative) const { return dir_ + "/mnt/" + relative; }

    // Waits until a write has paused: the path below the mount that did, or nullopt.
    std::optional<std::string> WaitForPause(
        std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Lets the paused write go on.
    void Resume();
    // While set, every change through the mount fails with EROFS.
    void SetReadOnly(bool readOnly);

  private:
    PausingMount() = default;
    bool Mounted() const;
    std::string Control(const std::string& name) const { return dir_ + "/control/" + name; }
    std::string dir_;
    pid_t process_ = -1;
};

// A missing prerequisite is a loud skip, and a failure when CI=true.
#define REQUIRE_PAUSING_MOUNT(mount, backing, pauses)                                      \
    std::string pausing_why_;                                                              \
    auto mount = PausingMount::Make(backing, pauses, pausing_why_);                        \
    if (!mount) {                                                                          \
        if (veskar::IsCi()) FAIL() << "no pausing file system under CI: " << pausing_why_; \
        GTEST_SKIP() << "NO PAUSING FILE SYSTEM (" << pausing_why_ << "): skipped";        \
    }

}  // namespace veskar
