// A folder seen through a small FUSE file system of the tests (failing_reads_fs.py beside
// this file): everything passes through to the folder, but reads of chosen files fail with
// EIO from a chosen offset on, as a damaged disk or a vanished network file answers. It is
// mounted in a temporary folder of its own and, when the object goes (also when a test
// fails), unmounted and its process ended, by its id.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/ntfs_volume.h"

class FailingReadsMount {
  public:
    struct Rule {
        std::string pattern;  // fnmatch, against a path below the mount point ("r3/*.bqx")
        std::uint64_t from;   // the first offset whose read fails
    };

    // Mounts `backing` with these rules; nullptr, with `why`, where FUSE or fusepy is missing
    // or the file system does not come up.
    static std::unique_ptr<FailingReadsMount> Make(const std::string& backing,
                                                   const std::vector<Rule>& rules,
                                                   std::string& why);
    ~FailingReadsMount();
    FailingReadsMount(const FailingReadsMount&) = delete;
    FailingReadsMount& operator=(const FailingReadsMount&) = delete;

    std::string Path(const std::string& relative) const { return mountPoint_ + "/" + relative; }

  private:
    FailingReadsMount() = default;
    bool Mounted() const;

    std::string dir_;
    std::string mountPoint_;
    pid_t process_ = -1;
};

// A missing prerequisite is a loud skip, and a failure when CI=true.
#define REQUIRE_FAILING_READS(mount, backing, rules)                                            \
    std::string failing_reads_why_;                                                             \
    auto mount = FailingReadsMount::Make(backing, rules, failing_reads_why_);                   \
    if (!mount) {                                                                               \
        if (::IsCi())                                                                           \
            FAIL() << "failing-reads file system unavailable under CI: " << failing_reads_why_; \
        GTEST_SKIP() << "NO FAILING-READS FILE SYSTEM (" << failing_reads_why_                  \
                     << "): test skipped";                                                      \
    }
