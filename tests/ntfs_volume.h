// SPDX-License-Identifier: Apache-2.0
// A real NTFS volume for the tests. On Linux (posix/): an image made with mkntfs, mounted with
// ntfs-3g so that "name:stream" opens a named stream, and read back after unmounting with
// ntfs-3g's own ntfscat and ntfsinfo as an independent reader. On Windows (win32/): a fresh
// folder on an NTFS volume that the test run provides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veskar {

class NtfsVolume {
  public:
    // Makes and mounts a fresh volume of `megabytes`; nullptr (with `why`) when the
    // machine cannot (no ntfs-3g, no FUSE).
    static std::unique_ptr<NtfsVolume> Make(std::size_t megabytes = 32, std::string* why = nullptr);
    static std::unique_ptr<NtfsVolume> Make(std::string* why, std::size_t megabytes = 32) {
        return Make(megabytes, why);
    }
    ~NtfsVolume();
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;

    // The mount point, ending without a separator.
    const std::string& Root() const { return mountPoint_; }
    std::string Path(const std::string& relative) const { return mountPoint_ + "/" + relative; }
    bool Mounted() const { return mounted_; }

    bool Unmount();
    bool Mount(bool readOnly = false);

    // Read back through ntfscat (the volume is unmounted first). `path` is relative to the
    // volume's root; an empty stream name reads the unnamed stream. nullopt when absent.
    std::optional<std::string> ReadStream(const std::string& path, const std::string& stream = "");
    // The names of the named data streams of a file, from ntfsinfo.
    std::vector<std::string> StreamNames(const std::string& path);
    // A file's or folder's creation and modification times (seconds since 1970, UTC), from
    // ntfsinfo on Linux and the system on Windows; nullopt when it cannot be read. Under Wine
    // the creation time is unknown: Wine keeps none of its own on a Linux file system, and
    // neither sets nor reads NTFS's.
    struct Times {
        std::optional<std::int64_t> created;
        std::int64_t modified = 0;
    };
    std::optional<Times> TimesOf(const std::string& path);

  private:
    NtfsVolume() = default;
    std::string dir_;
    std::string image_;
    std::string mountPoint_;
    bool mounted_ = false;
};

// Linux only: runs a shell command; its standard output, or nullopt when it exited non-zero.
std::optional<std::string> RunCommand(const std::string& command);
std::string ShellQuote(const std::string& text);

// A missing prerequisite is a loud skip, and a failure when CI=true.
#define REQUIRE_NTFS(volume, ...)                                                        \
    std::string ntfs_why_;                                                               \
    auto volume = NtfsVolume::Make(&ntfs_why_ __VA_OPT__(, ) __VA_ARGS__);               \
    if (!volume) {                                                                       \
        if (veskar::IsCi()) FAIL() << "NTFS volume unavailable under CI: " << ntfs_why_; \
        GTEST_SKIP() << "NO NTFS VOLUME (" << ntfs_why_ << "): test skipped";            \
    }

bool IsCi();

}  // namespace veskar
