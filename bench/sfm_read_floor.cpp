// SPDX-License-Identifier: Apache-2.0
// The floor of the migration benchmark's NTFS move: what it costs to read a tree in the sfm layout
// from an ntfs-3g mount (streams_interface=windows) and write it in the fruit layout, with plain
// calls, one file after another and nothing held beyond the file at hand. For each folder: its
// listing, its list of named streams and its creation time, a mkdir and Samba's record of that
// time. For each file: its data (one open, an fstat for its size and time, the NTFS creation time,
// one read of exactly its size), its list of named streams and each stream read whole the same way
// through ntfs-3g's "FILE:STREAM" paths (AFP_AfpInfo, AFP_Resource and the others, which are
// extended attributes); then what `veskar-convert --layout fruit` writes: the data file (one
// exclusive create, one write, one setxattr each for netatalk's metadata, Samba's creation time
// record and the stream attribute of every extended attribute, its time, one close) and, for a file
// with Mac information, its "._" file (one exclusive create, one write, its time, one close). The
// folders' times are set at the end, as veskar-convert sets them. Unlike the batch floors, the
// reading is timed too: it is half the work of a move. Prints the seconds of the whole; the
// benchmark syncs the target after. The bench's folders carry no Mac information, so a folder's
// streams are listed and no more.
//   sfm_read_floor SOURCE_FOLDER TARGET_FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/finder_info.h"
#include "core/read/stored_records.h"
#include "core/write/afp_info.h"
#include "core/write/server_records.h"

using namespace veskar;

namespace {

constexpr std::int64_t kNtfsTicksAtUnix = 116444736000000000;
constexpr std::int64_t kNtfsTicksPerSecond = 10000000;
// ntfs-3g shows a file's NTFS creation time in this attribute (ticks of 100 ns since 1601,
// little-endian).
constexpr const char* kNtfsCreationTime = "system.ntfs_crtime";

std::int64_t UnixOfNtfs(const std::uint8_t (&ticks)[8]) {
    std::int64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | ticks[i];
    return (value - kNtfsTicksAtUnix) / kNtfsTicksPerSecond;
}

// Everything read of one file; the buffers are kept from file to file.
struct Read {
    std::vector<std::uint8_t> data, resource, stream;
    std::vector<char> streamList;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> attributes;
    std::optional<AfpInfoRead> afpInfo;
    MacDates dates;
};

// Reads the rest of an open file of `size` bytes whole into `bytes`, asking for no more than
// that: a read of a FUSE file that reaches past the size the kernel holds for it makes the kernel
// ask the file system for the size again, one more round trip to ntfs-3g.
bool ReadAll(int fd, std::size_t size, std::vector<std::uint8_t>& bytes) {
    bytes.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// A named stream read whole: one open, an fstat for its size, one read, one close.
bool ReadStream(const std::string& path, std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    const bool read =
        ::fstat(fd, &info) == 0 && ReadAll(fd, static_cast<std::size_t>(info.st_size), bytes);
    return ::close(fd) == 0 && read;
}

// The names of a file's or folder's named streams, as ntfs-3g lists them (separated by zero
// bytes, in an attribute of its own).
bool ListStreams(const std::string& path, std::vector<char>& list,
                 std::vector<std::string>& names) {
    names.clear();
    if (list.size() < 4096) list.resize(4096);
    ssize_t size;
    while ((size = ::getxattr(path.c_str(), "ntfs.streams.list", list.data(), list.size())) < 0 &&
           errno == ERANGE)
        list.resize(list.size() * 4);
    if (size < 0) return false;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const std::size_t end =
            std::find(list.begin() + at, list.begin() + size, '\0') - list.begin();
        if (end > at) names.emplace_back(list.data() + at, end - at);
        at = end + 1;
    }
    return true;
}

// The data file, then each named stream.
bool ReadFile(const std::string& path, Read& in, std::vector<std::string>& names) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    bool read = ::fstat(fd, &info) == 0;
    in.dates = {};
    if (read) in.dates.modified = info.st_mtime;
    std::uint8_t ticks[8];
    if (::fgetxattr(fd, kNtfsCreationTime, ticks, sizeof ticks) == sizeof ticks)
        in.dates.created = UnixOfNtfs(ticks);
    read = read && ReadAll(fd, static_cast<std::size_t>(info.st_size), in.data);
    if (::close(fd) != 0 || !read || !ListStreams(path, in.streamList, names)) return false;
    in.resource.clear();
    in.attributes.clear();
    in.afpInfo.reset();
    for (const std::string& name : names) {
        if (!ReadStream(path + ":" + name, in.stream)) return false;
        if (name == kAfpInfoStream) {
            in.afpInfo = ReadAfpInfo(in.stream);
            if (in.afpInfo) in.dates.backedUp = in.afpInfo->backedUp;
        } else if (name == kResourceStream) {
            in.resource.swap(in.stream);
        } else {
            in.attributes.emplace_back(name, in.stream);
        }
    }
    return true;
}

bool SetAttribute(int fd, const std::string& name, const void* bytes, std::size_t count) {
    return ::fsetxattr(fd, name.c_str(), bytes, count, XATTR_CREATE) == 0;
}

// One exclusive create, one write, the attributes `before` sets, the modification time, one close.
template <typename SetAttributes>
bool WriteFile(const std::string& path, const std::uint8_t* bytes, std::size_t count,
               std::time_t modified, SetAttributes before) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    const bool written = ::write(fd, bytes, count) == static_cast<ssize_t>(count) && before(fd) &&
                         ::futimens(fd, times) == 0;
    return ::close(fd) == 0 && written;
}

// Writes what veskar-convert --layout fruit writes for the file read.
bool WriteFruit(const std::string& path, const std::string& companionPath, const Read& in,
                std::time_t now, std::vector<std::uint8_t>& companion) {
    const FinderInformation info =
        FinderInfoForAnotherMachine(in.afpInfo ? in.afpInfo->finderInfo : FinderInformation{});
    const bool mac = std::any_of(info.begin(), info.end(), [](std::uint8_t b) { return b != 0; }) ||
                     !in.resource.empty() || !in.attributes.empty();
    const std::time_t modified = static_cast<std::time_t>(in.dates.modified.value_or(now));
    // netatalk's metadata for a file with Mac information; Samba's creation time record for
    // every file, a plain one too.
    const auto attributes = [&](int fd) {
        if (mac) {
            const NetatalkMetadata metadata = MakeNetatalkMetadata(info, in.dates, {}, now);
            if (!SetAttribute(fd, std::string("user.") + netatalk::kMetadataAttribute,
                              metadata.data(), metadata.size()))
                return false;
        }
        if (in.dates.created) {
            const DosAttributes record = MakeDosAttributes(samba::kArchive, *in.dates.created);
            if (!SetAttribute(fd, std::string("user.") + samba::kDosAttributes, record.data(),
                              record.size()))
                return false;
        }
        // Samba keeps one zero byte after a stream's bytes.
        std::vector<std::uint8_t> value;
        for (const auto& [name, bytes] : in.attributes) {
            value.assign(bytes.begin(), bytes.end());
            value.push_back(0);
            if (!SetAttribute(fd, "user.DosStream." + name + ":$DATA", value.data(), value.size()))
                return false;
        }
        return true;
    };
    if (!WriteFile(path, in.data.data(), in.data.size(), modified, attributes)) return false;
    if (!mac) return true;
    const AppleDoubleHeader header =
        MakeAppleDoubleHeader(info, static_cast<std::uint32_t>(in.resource.size()));
    companion.assign(header.begin(), header.end());
    companion.insert(companion.end(), in.resource.begin(), in.resource.end());
    return WriteFile(companionPath, companion.data(), companion.size(), modified,
                     [](int) { return true; });
}

struct Walk {
    std::time_t now = std::time(nullptr);
    Read in;
    std::vector<std::string> names;
    std::vector<std::uint8_t> companion;
    std::vector<std::pair<std::string, std::time_t>> folderTimes;  // set at the end

    // A folder made as veskar-convert makes it: with Samba's record of the source's creation
    // time, its modification time kept for the end.
    bool MakeFolder(const std::string& source, const std::string& target) {
        struct stat info;
        if (::stat(source.c_str(), &info) != 0 || !ListStreams(source, in.streamList, names) ||
            ::mkdir(target.c_str(), 0777) != 0)
            return false;
        std::uint8_t ticks[8];
        if (::getxattr(source.c_str(), kNtfsCreationTime, ticks, sizeof ticks) == sizeof ticks) {
            const DosAttributes record = MakeDosAttributes(samba::kFolder, UnixOfNtfs(ticks));
            if (::setxattr(target.c_str(), (std::string("user.") + samba::kDosAttributes).c_str(),
                           record.data(), record.size(), XATTR_CREATE) != 0)
                return false;
        }
        folderTimes.emplace_back(target, info.st_mtime);
        return true;
    }

    // Moves the folder `source` into the existing folder `target`, its entries in name order.
    bool Move(const std::string& source, const std::string& target) {
        DIR* folder = ::opendir(source.c_str());
        if (!folder) return Failed(source);
        std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
        while (const dirent* entry = ::readdir(folder)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info;
                isFolder =
                    ::lstat((source + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
            }
            entries.emplace_back(name, isFolder);
        }
        ::closedir(folder);
        std::sort(entries.begin(), entries.end());
        for (const auto& [name, isFolder] : entries) {
            const std::string from = source + "/" + name;
            const std::string to = target + "/" + name;
            if (isFolder) {
                if (!MakeFolder(from, to)) return Failed(from);
                if (!Move(from, to)) return false;
            } else if (!ReadFile(from, in, names) ||
                       !WriteFruit(to, target + "/._" + name, in, now, companion)) {
                return Failed(from);
            }
        }
        return true;
    }

    static bool Failed(const std::string& path) {
        std::perror(path.c_str());
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sfm_read_floor SOURCE_FOLDER TARGET_FOLDER\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    Walk walk;
    if (!walk.Move(argv[1], argv[2])) return 1;
    for (const auto& [folder, modified] : walk.folderTimes) {
        const timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
        if (::utimensat(AT_FDCWD, folder.c_str(), times, 0) != 0) {
            Walk::Failed(folder);
            return 1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", elapsed.count());
    return 0;
}
