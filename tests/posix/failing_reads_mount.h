// SPDX-License-Identifier: Apache-2.0
// A folder seen through the tests' FUSE file system failing_reads_fs.py, where reads of
// chosen files fail with EIO from an offset on. Mounted in a temporary folder of its own;
// unmounted, its process ended by its id, when the object goes (also when a test fails).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/ntfs_volume.h"

namespace veskar {

class FailingReadsMount {
  public:
    struct Rule {
        std::string pattern;  // fnmatch, against a path below the mount point
        std::uint64_t from;   // the first offset whose read fails
    };
    // nullptr, with `why`, where FUSE or python3-fusepy is missing or it does not come up.
    static std::unique_ptr<FailingReadsMount> Make(const std::string& backing,
                                                   const std::vector<Rule>& rules,
                                                   std::string& why);
    ~FailingReadsMount();
    std::string Path(const std::string& relative) const { return dir_ + "/mnt/" + relative; }

  private:
    FailingReadsMount() = default;
    bool Mounted() const;
    std::string dir_;
    pid_t process_ = -1;
};

// A missing prerequisite is a loud skip, and a failure when CI=true.
#define REQUIRE_FAILING_READS(mount, backing, rules)                                            \
    std::string failing_reads_why_;                                                             \
    auto mount = FailingReadsMount::Make(backing, rules, failing_reads_why_);                   \
    if (!mount) {                                                                               \
        if (veskar::IsCi())                                                                     \
            FAIL() << "no failing-reads file system under CI: " << failing_reads_why_;          \
        GTEST_SKIP() << "NO FAILING-READS FILE SYSTEM (" << failing_reads_why_ << "): skipped"; \
    }

}  // namespace veskar
