// SPDX-License-Identifier: Apache-2.0
// Whether a folder can take NTFS named streams through "name:stream" paths.
//
// Only ntfs-3g mounted with streams_interface=windows opens a named stream for such a path;
// elsewhere it is an ordinary name (or an invalid one). The kind of file system narrows the
// answer, and on a mount that may be ntfs-3g a probe file settles it: its stream opened
// through "probe:stream" is the probe file itself exactly when the streams work.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

constexpr std::uint32_t kFuseMagic = 0x65735546;
constexpr std::uint32_t kNtfs3Magic = 0x7366746e;    // the ntfs3 kernel driver
constexpr std::uint32_t kOldNtfsMagic = 0x5346544e;  // the older read-only ntfs driver

constexpr const char* kMountCommand = "ntfs-3g -o streams_interface=windows DEVICE MOUNTPOINT";

struct Mount {
    std::string point;
    std::string type;
};

// mountinfo writes a space, tab, newline or backslash in a field as a three-digit octal escape.
std::string DecodeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) |
                                            ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

bool Holds(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") return true;
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The mount holding `path` (a real path): the one with the longest mount point above it, the
// last listed when several share that point, since the later mount covers the earlier.
std::optional<Mount> MountHolding(const std::string& path) {
    std::ifstream table("/proc/self/mountinfo");
    std::optional<Mount> best;
    std::string line;
    while (std::getline(table, line)) {
        // ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE OPTIONS
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string word; fields >> word;)
            field.push_back(word);
        std::size_t dash = 6;
        while (dash < field.size() && field[dash] != "-")
            ++dash;
        if (dash + 1 >= field.size()) continue;
        Mount mount{DecodeMountField(field[4]), DecodeMountField(field[dash + 1])};
        if (Holds(mount.point, path) && (!best || mount.point.size() >= best->point.size()))
            best = std::move(mount);
    }
    return best;
}

// A name for a file system type when mountinfo cannot be read.
std::string TypeName(std::uint32_t magic) {
    struct Known {
        std::uint32_t magic;
        const char* name;
    };
    static constexpr Known kKnown[] = {
        {0xEF53, "ext4"},     {0x01021994, "tmpfs"},  {0x9123683E, "btrfs"},
        {0x58465342, "xfs"},  {0x6969, "nfs"},        {0x794C7630, "overlay"},
        {0x4D44, "vfat"},     {0x2011BAB0, "exfat"},  {0xFF534D42, "cifs"},
        {0xFE534D42, "smb2"}, {0x2FC12FC1, "zfs"},    {0xF2F52010, "f2fs"},
        {kFuseMagic, "fuse"}, {kNtfs3Magic, "ntfs3"}, {kOldNtfsMagic, "ntfs"},
    };
    for (const Known& known : kKnown)
        if (known.magic == magic) return known.name;
    std::ostringstream hex;
    hex << "0x" << std::hex << magic;
    return hex.str();
}

// ntfs-3g gives every file its NTFS attributes as the extended attribute system.ntfs_attrib,
// whatever stream interface it was mounted with.
bool IsNtfs3g(const std::string& folder, const std::string& type) {
    std::uint32_t attributes = 0;
    return ::getxattr(folder.c_str(), "system.ntfs_attrib", &attributes, sizeof attributes) ==
               static_cast<ssize_t>(sizeof attributes) ||
           type.find("ntfs") != std::string::npos;
}

struct ProbeResult {
    bool streams = false;
    int createError = 0;  // errno when the probe file could not be created
};

ProbeResult ProbeNamedStreams(const std::string& folder) {
    // An interrupt waits until the probe is gone again: it is in no table of files to remove.
    const InterruptsHeld held;
    ProbeResult result;
    std::string templ = folder;
    if (templ.empty() || templ.back() != '/') templ.push_back('/');
    templ += ".veskar-probe-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        result.createError = errno;
        return result;
    }
    const std::string probe(name.data());
    struct stat file {};
    const bool fileKnown = ::fstat(fd, &file) == 0;
    // Closed before anything is removed: FUSE keeps an open file that is unlinked under a
    // hidden name until it is closed.
    ::close(fd);

    const std::string streamPath = probe + ":VESKAR_Probe";
    const int streamFd = ::open(streamPath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (streamFd >= 0) {
        struct stat stream {};
        const bool streamKnown = ::fstat(streamFd, &stream) == 0;
        ::close(streamFd);
        result.streams = fileKnown && streamKnown && stream.st_dev == file.st_dev &&
                         stream.st_ino == file.st_ino;
        // Not a stream of the probe: a file of its own, which removing the probe would keep.
        if (!result.streams) ::unlink(streamPath.c_str());
    }
    ::unlink(probe.c_str());
    return result;
}

std::string Sentence(const std::string& reason, const std::string& remedy) {
    return reason + "; " + remedy + kMountCommand;
}

}  // namespace

VolumeInfo QueryVolume(const std::string& folder) {
    VolumeInfo info;
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0) {
        info.advice = errno == ENOENT || errno == ENOTDIR
                          ? "the folder does not exist"
                          : std::string("the folder cannot be examined: ") + std::strerror(errno);
        return info;
    }
    if (!S_ISDIR(status.st_mode)) {
        info.advice = "the path names a file, not a folder";
        return info;
    }
    std::string path = folder;
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    struct statfs volume;
    if (::statfs(path.c_str(), &volume) != 0) {
        info.advice =
            std::string("the folder's volume cannot be examined: ") + std::strerror(errno);
        return info;
    }
    const auto magic = static_cast<std::uint32_t>(volume.f_type);
    const std::optional<Mount> mount = MountHolding(path);
    const std::string type = mount ? mount->type : TypeName(magic);
    const std::string elsewhere = "convert into a folder of an NTFS volume mounted with: ";

    if (magic == kNtfs3Magic || magic == kOldNtfsMagic) {
        info.fileSystem = "NTFS";
        info.advice =
            Sentence(std::string("the folder is on an NTFS volume mounted by the ") +
                         (magic == kNtfs3Magic ? "ntfs3" : "read-only ntfs") +
                         " kernel driver, which does not expose named streams as name:stream paths",
                     "unmount it and mount it with: ");
        return info;
    }
    // Only a FUSE mount can be ntfs-3g; other FUSE file systems (sshfs and the like) name
    // their type "fuse.NAME" and are never written to here.
    const bool mayBeNtfs3g =
        magic == kFuseMagic && mount &&
        (type == "fuseblk" || type == "fuse" || type.find("ntfs") != std::string::npos);
    if (!mayBeNtfs3g) {
        info.fileSystem = type;
        info.advice = magic == kFuseMagic && !mount
                          ? Sentence(
                                "the folder is on a FUSE volume whose kind cannot be read "
                                "from /proc/self/mountinfo, so its named streams cannot "
                                "be checked",
                                elsewhere)
                          : Sentence("the folder is on a volume of type " + type +
                                         ", which has no NTFS named streams",
                                     elsewhere);
        return info;
    }

    const ProbeResult probe = ProbeNamedStreams(path);
    const bool ntfs3g = probe.streams || IsNtfs3g(path, type);
    info.fileSystem = ntfs3g ? "NTFS" : type;
    if (probe.streams) {
        info.namedStreams = true;
        info.maxNameLength = static_cast<std::uint32_t>(volume.f_namelen);
    } else if (probe.createError == EROFS) {
        info.advice = Sentence(
            "the folder is on a read-only volume, where no streams can be "
            "written",
            ntfs3g ? "remount it read-write with: " : elsewhere);
    } else if (probe.createError != 0) {
        info.advice = Sentence(std::string("no file can be created in the folder (") +
                                   std::strerror(probe.createError) +
                                   "), so its named streams cannot be checked",
                               "choose a writable folder of an NTFS volume mounted with: ");
    } else if (ntfs3g) {
        info.advice = Sentence(
            "the folder is on an NTFS volume mounted by ntfs-3g without the "
            "Windows stream interface, so name:stream paths do not open "
            "named streams",
            "remount it with: ");
    } else {
        info.advice = Sentence("the folder is on a FUSE volume of type " + type +
                                   " whose name:stream paths do not open NTFS named streams",
                               elsewhere);
    }
    return info;
}

std::optional<std::uint64_t> VolumeId(const std::string& folder) {
    // Every FUSE mount, ntfs-3g's among them, gets a device number of its own.
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_dev);
}

std::uint32_t IsNtfsVolume(const std::string& path) {
    // Not cached: a volume can be remounted between two choices.
    const VolumeInfo info = QueryVolume(path);
    return info.namedStreams ? info.maxNameLength : 0;
}

}  // namespace platform

}  // namespace veskar
