// SPDX-License-Identifier: Apache-2.0
// The folders a run writes into, held open, and the work folder in which each output is
// written whole before it is moved into its place.
//
// Everything a run makes is made relative to a descriptor it opened itself: the folders by
// openat with O_NOFOLLOW below the target, the work files by openat in the work folder, the
// moves by renameat2 (or linkat) between the two. A path is looked at again only to tell that
// it still names the folder held for it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"
#include "platform/posix/held_folders_posix.h"

namespace veskar {

namespace platform {

namespace {

// A run's work folder is named ".veskar-" and something of its own, and holds this mark,
// locked for as long as the run lives: a later run removes only a folder that has the mark
// and whose lock nobody holds.
constexpr std::string_view kWorkPrefix = ".veskar-";
constexpr const char* kMarkName = "veskar-work";
constexpr std::string_view kMark = "VESKAR work folder: outputs being written\n";
// ntfs-3g's view of a file's DOS attributes; hidden, for Windows' Explorer.
constexpr const char* kNtfsAttributes = "system.ntfs_attrib_be";
constexpr std::uint32_t kNtfsHidden = 0x2;

FileIdentity IdentityOfStat(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string Joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

struct Held {
    std::string path;
    int fd = -1;
    FileIdentity identity;
    bool cleared = false;  // what interrupted runs left here has been removed
    // The times it is given when the holding ends.
    bool dated = false;
    std::optional<std::int64_t> modified{}, created{};
};

// How a work file is moved into its folder, found on the first move of each work folder.
enum class Move { Unknown, RenameNoReplace, Link, CheckedRename };

struct Work {
    std::uint64_t device = 0;
    std::string path;  // for messages
    std::string name;  // in its parent
    int parent = -1;   // the held folder it was made in (not owned)
    int fd = -1;
    int mark = -1;
    int folderSlot = -1;
    int markSlot = -1;
    Move move = Move::Unknown;
    unsigned next = 0;  // the last work file's number
};

struct Holdings {
    std::mutex mutex;
    int depth = 0;
    std::vector<std::unique_ptr<Held>> folders;
    std::vector<std::unique_ptr<Work>> works;
    Held* current = nullptr;
    std::vector<HoldingNotice> notices;
};

Holdings& State() {
    static Holdings holdings;
    return holdings;
}

Held* FindHeld(Holdings& state, const std::string& path) {
    for (const auto& folder : state.folders)
        if (folder->path == path) return folder.get();
    return nullptr;
}

// The leftovers of an interrupted run in `folder`: work folders with the mark whose lock
// nobody holds. Only regular files are removed from them, by name, and the folder itself.
void RemoveLeftovers(Holdings& state, const Held& folder) {
    const int listing = ::dup(folder.fd);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (dir == nullptr) {
        if (listing >= 0) ::close(listing);
        return;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir))
        if (std::string_view(entry->d_name).starts_with(kWorkPrefix))
            candidates.emplace_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : candidates) {
        const int work =
            ::openat(folder.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (work < 0) continue;
        const int mark = ::openat(work, kMarkName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        char said[kMark.size()] = {};
        const bool marked = mark >= 0 &&
                            ::read(mark, said, sizeof said) == static_cast<ssize_t>(sizeof said) &&
                            std::string_view(said, sizeof said) == kMark;
        // A live run, this one's among them, holds its mark's lock.
        if (!marked || ::flock(mark, LOCK_EX | LOCK_NB) != 0) {
            if (mark >= 0) ::close(mark);
            ::close(work);
            continue;
        }
        std::size_t files = 0;
        const int inner = ::dup(work);
        if (DIR* contents = inner < 0 ? nullptr : ::fdopendir(inner)) {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(contents))
                names.emplace_back(entry->d_name);
            ::closedir(contents);
            for (const std::string& file : names) {
                struct stat info;
                if (file == kMarkName ||
                    ::fstatat(work, file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                    !S_ISREG(info.st_mode))
                    continue;
                if (::unlinkat(work, file.c_str(), 0) == 0) ++files;
            }
        } else if (inner >= 0) {
            ::close(inner);
        }
        ::unlinkat(work, kMarkName, 0);
        ::close(mark);
        ::close(work);
        const std::string path = Joined(folder.path, name);
        if (::unlinkat(folder.fd, name.c_str(), AT_REMOVEDIR) == 0)
            state.notices.push_back({false, "removed what an interrupted run left in " + path +
                                                " (" + std::to_string(files) +
                                                (files == 1 ? " file)" : " files)")});
        else
            state.notices.push_back(
                {true, Reason("an interrupted run left " + path + ", which cannot be removed")});
    }
}

Held* Hold(Holdings& state, const std::string& path, int fd, const struct stat& info) {
    state.folders.push_back(std::make_unique<Held>(Held{path, fd, IdentityOfStat(info)}));
    return state.folders.back().get();
}

// The current folder, held as it is when no folder was entered by a path (an output written
// into the current folder by a caller of its own).
Held* Here(Holdings& state, std::string& why) {
    if (state.current) return state.current;
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info;
    if (state.depth == 0 || fd < 0 || ::fstat(fd, &info) != 0) {
        why = "no target folder is held";
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    state.current = Hold(state, CurrentFolder(), fd, info);
    return state.current;
}

// The work folder on the current folder's volume, made in the current folder on first use.
Work* WorkFolder(Holdings& state, std::string& why) {
    Held* here = Here(state, why);
    if (here == nullptr) return nullptr;
    for (const auto& work : state.works)
        if (work->device == here->identity.device) return work.get();
    auto work = std::make_unique<Work>();
    work->device = here->identity.device;
    work->parent = here->fd;
    std::random_device random;
    for (int attempt = 0; attempt < 16 && work->fd < 0; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%ld-%08x", kWorkPrefix.data(),
                      static_cast<long>(::getpid()), static_cast<unsigned>(random()));
        work->name = name;
        if (::mkdirat(here->fd, name, 0700) != 0) {
            if (errno == EEXIST) continue;
            why = Reason("cannot make the work folder in " + here->path);
            return nullptr;
        }
        work->fd = ::openat(here->fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (work->fd < 0) {
            why = Reason("cannot open the work folder in " + here->path);
            ::unlinkat(here->fd, name, AT_REMOVEDIR);
            return nullptr;
        }
    }
    if (work->fd < 0) {
        why = "no free name for a work folder in " + here->path;
        return nullptr;
    }
    work->path = Joined(here->path, work->name);
    {
        const InterruptsHeld interrupts;
        work->folderSlot = TrackTemporaryFileIn(here->fd, work->name, true);
        work->mark = ::openat(work->fd, kMarkName, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (work->mark >= 0)
            work->markSlot = TrackTemporaryFileIn(work->fd, kMarkName, false, work->mark);
    }
    if (work->mark < 0 ||
        ::write(work->mark, kMark.data(), kMark.size()) != static_cast<ssize_t>(kMark.size()) ||
        ::flock(work->mark, LOCK_EX | LOCK_NB) != 0) {
        why = Reason("cannot mark the work folder " + work->path);
        if (work->mark >= 0) {
            ::close(work->mark);
            ::unlinkat(work->fd, kMarkName, 0);
        }
        ::close(work->fd);
        ::unlinkat(here->fd, work->name.c_str(), AT_REMOVEDIR);
        UntrackTemporaryFile(work->markSlot);
        UntrackTemporaryFile(work->folderSlot);
        return nullptr;
    }
    // Hidden on NTFS too, where a leading dot hides nothing; elsewhere the name does it.
    std::uint8_t attributes[4] = {};
    if (::fgetxattr(work->fd, kNtfsAttributes, attributes, sizeof attributes) ==
        sizeof attributes) {
        attributes[3] |= kNtfsHidden;
        ::fsetxattr(work->fd, kNtfsAttributes, attributes, sizeof attributes, 0);
    }
    state.works.push_back(std::move(work));
    return state.works.back().get();
}

Work* WorkOf(Holdings& state, std::uint64_t device) {
    for (const auto& work : state.works)
        if (work->device == device) return work.get();
    return nullptr;
}

// The work folders removed, the volumes synced once each, the folders let go.
void Release(Holdings& state) {
    for (const auto& work : state.works) {
        ::unlinkat(work->fd, kMarkName, 0);
        ::close(work->mark);
        ::close(work->fd);
        if (::unlinkat(work->parent, work->name.c_str(), AT_REMOVEDIR) != 0)
            state.notices.push_back({true, Reason("the work folder " + work->path +
                                                  " was left behind, as it cannot be removed")});
        UntrackTemporaryFile(work->markSlot);
        UntrackTemporaryFile(work->folderSlot);
    }
    state.works.clear();
    for (const auto& folder : state.folders)
        if (folder->dated && !SetFileTimes(RawFile{folder->fd}, folder->modified, folder->created))
            state.notices.push_back(
                {true, Reason("the folder " + folder->path + " could not be given its dates")});
    std::vector<std::uint64_t> synced;
    for (const auto& folder : state.folders) {
        if (std::find(synced.begin(), synced.end(), folder->identity.device) == synced.end()) {
            synced.push_back(folder->identity.device);
            if (::syncfs(folder->fd) != 0)
                state.notices.push_back({true, Reason("what was written into " + folder->path +
                                                      " may not be on the disk")});
        }
        ::close(folder->fd);
    }
    state.folders.clear();
    state.current = nullptr;
}

}  // namespace

namespace held {

bool Active() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    return state.depth > 0;
}

std::optional<int> Enter(const std::string& path, const struct stat& info, std::string& problem) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    if (Held* held = FindHeld(state, path)) {
        if (held->identity != IdentityOfStat(info)) {
            problem = "the target folder " + path +
                      " is not the folder this run began writing into: it was moved, "
                      "replaced or removed meanwhile";
            return std::nullopt;
        }
        state.current = held;
        return held->fd;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat opened;
    if (fd < 0 || ::fstat(fd, &opened) != 0 || IdentityOfStat(opened) != IdentityOfStat(info)) {
        problem = "the target folder " + path + " cannot be entered";
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    state.current = Hold(state, path, fd, opened);
    return fd;
}

}  // namespace held

// A run's volumes are synced as a whole at its end.
const bool kSyncEachFile = false;

void BeginHolding() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    ++state.depth;
}

void EndHolding() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    if (state.depth == 0 || --state.depth > 0) return;
    Release(state);
}

std::vector<HoldingNotice> TakeHoldingNotices() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    return std::exchange(state.notices, {});
}

Subfolder HoldSubfolder(const std::string& parent, const std::string& name, bool create,
                        std::string& path, std::string& why, bool* made) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    path = Joined(parent, name);
    if (made) *made = false;
    if (FindHeld(state, path)) return Subfolder::Held;
    // The folder above as it is held; outside a holding it is opened for this look alone.
    int above = -1;
    if (const Held* held = FindHeld(state, parent)) {
        above = held->fd;
    } else {
        const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            why = Reason("the folder " + parent + " cannot be opened");
            if (fd >= 0) ::close(fd);
            return Subfolder::Refused;
        }
        above = state.depth > 0 ? Hold(state, parent, fd, info)->fd : fd;
    }
    const bool unheld = state.depth == 0;
    auto answer = [&](Subfolder subfolder, int fd = -1) {
        if (unheld) ::close(above);
        if (fd >= 0) ::close(fd);
        return subfolder;
    };
    if (create) {
        if (::mkdirat(above, name.c_str(), 0777) == 0) {
            if (made) *made = true;
        } else if (errno != EEXIST) {
            why = Reason("the folder " + path + " cannot be created");
            return answer(Subfolder::Refused);
        }
    }
    const int fd = ::openat(above, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat info;
        if (error == ENOENT && !create) return answer(Subfolder::Missing);
        if (::fstatat(above, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode))
            why = path + " is a symbolic link, not a folder";
        else if (error == ENOTDIR)
            why = "a file " + path + " is where its folder would be";
        else
            why = "the folder " + path + " cannot be opened: " + std::strerror(error);
        return answer(Subfolder::Refused);
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        why = Reason("the folder " + path + " cannot be opened");
        return answer(Subfolder::Refused, fd);
    }
    if (unheld) return answer(Subfolder::Held, fd);
    Hold(state, path, fd, info);
    return Subfolder::Held;
}

std::optional<RawFile> HeldFolderInCurrent(const std::string& nativeName) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    if (state.current == nullptr) return std::nullopt;
    const Held* held = FindHeld(state, Joined(state.current->path, nativeName));
    if (held == nullptr) return std::nullopt;
    return RawFile{held->fd};
}

void SetFolderTimesAtEnd(const std::string& nativeName, std::optional<std::int64_t> modified,
                         std::optional<std::int64_t> created) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    if (state.current == nullptr) return;
    Held* held = FindHeld(state, Joined(state.current->path, nativeName));
    if (held == nullptr) return;
    held->dated = true;
    held->modified = modified;
    held->created = created;
}

WorkFile CreateWorkFile(std::string& why) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    WorkFile file;
    Work* work = WorkFolder(state, why);
    if (work == nullptr) return file;
    // A folder is cleared of what interrupted runs left when something is first written into
    // it: a trial run, which writes nothing, leaves it as it is.
    if (!state.current->cleared) {
        state.current->cleared = true;
        RemoveLeftovers(state, *state.current);
    }
    file.name = std::to_string(++work->next);
    int fd = -1;
    {
        // Created and registered at once: an interrupt finds it either not there or known.
        const InterruptsHeld interrupts;
        fd = ::openat(work->fd, file.name.c_str(),
                      O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) file.slot = TrackTemporaryFileIn(work->fd, file.name, false, fd);
    }
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0 || (file.stream = ::fdopen(fd, "w+b")) == nullptr) {
        why = Reason("cannot create a file in the work folder " + work->path);
        if (fd >= 0) {
            ::close(fd);
            ::unlinkat(work->fd, file.name.c_str(), 0);
        }
        UntrackTemporaryFile(file.slot);
        file.slot = -1;
        return file;
    }
    file.identity = IdentityOfStat(info);
    return file;
}

WorkStream CreateWorkStream(const WorkFile& file, std::string_view stream, std::string& why) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    WorkStream made;
    Work* work = WorkOf(state, file.identity.device);
    if (work == nullptr) {
        why = "the work folder is gone";
        return made;
    }
    const std::string name = file.name + ":" + std::string(stream);
    int fd = -1;
    {
        const InterruptsHeld interrupts;
        fd = ::openat(work->fd, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) made.slot = TrackTemporaryFileIn(work->fd, name, false, fd);
    }
    if (fd < 0) {
        why = Reason("cannot create the " + std::string(stream) + " stream");
        return made;
    }
    // A named stream shares its file's identity. Another one means the file was removed or
    // replaced: when opening its stream made a new, empty file of the name, that file is taken
    // back; anything else put there is not this run's.
    struct stat info;
    if (::fstat(fd, &info) != 0 || IdentityOfStat(info) != file.identity) {
        struct stat other;
        if (::fstatat(work->fd, file.name.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 &&
            other.st_ino == info.st_ino && other.st_dev == info.st_dev && S_ISREG(other.st_mode) &&
            other.st_size == 0)
            ::unlinkat(work->fd, file.name.c_str(), 0);
        // Where names do not address streams at all, the name with its colon made a file of
        // its own.
        if (::fstatat(work->fd, name.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 &&
            other.st_ino == info.st_ino && other.st_dev == info.st_dev && other.st_size == 0)
            ::unlinkat(work->fd, name.c_str(), 0);
        TrackedFileClosed(made.slot);
        ::close(fd);
        UntrackTemporaryFile(made.slot);
        made.slot = -1;
        why = "the output's file went away while it was written (in " + work->path + ")";
        return made;
    }
    made.stream = ::fdopen(fd, "w+b");
    if (made.stream == nullptr) {
        why = Reason("cannot create the " + std::string(stream) + " stream");
        TrackedFileClosed(made.slot);
        ::close(fd);
        UntrackTemporaryFile(made.slot);
        made.slot = -1;
    }
    return made;
}

bool CloseWorkStream(WorkStream& stream) {
    if (stream.stream == nullptr) return true;
    TrackedFileClosed(stream.slot);
    const bool closed = std::fclose(stream.stream) == 0;
    UntrackTemporaryFile(stream.slot);
    stream = {};
    return closed;
}

std::string CurrentHeldFolder() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    return state.current ? state.current->path : CurrentFolder();
}

namespace {

// Where a placed name lies: the current folder, or for "SUB/NAME" the subfolder SUB as the run
// holds it; null when it holds none of that path.
Held* PlaceOf(Holdings& state, const std::string& nativeName, std::string& leaf) {
    Held* here = state.current;
    const std::size_t slash = nativeName.rfind('/');
    leaf = slash == std::string::npos ? nativeName : nativeName.substr(slash + 1);
    if (here == nullptr || slash == std::string::npos) return here;
    return FindHeld(state, Joined(here->path, nativeName.substr(0, slash)));
}

}  // namespace

bool MoveIntoPlace(WorkFile& file, const std::string& nativeName, bool& taken, std::string& why) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    taken = false;
    Work* work = WorkOf(state, file.identity.device);
    std::string leaf;
    Held* here = PlaceOf(state, nativeName, leaf);
    if (work == nullptr || here == nullptr) {
        why = "the work folder is gone";
        return false;
    }
    const char* from = file.name.c_str();
    const char* to = leaf.c_str();
    // Only the very file made goes: one put in its place meanwhile (a link to a file outside,
    // say) is not this run's output.
    struct stat made;
    if (::fstatat(work->fd, from, &made, AT_SYMLINK_NOFOLLOW) != 0 ||
        IdentityOfStat(made) != file.identity) {
        why = "the output's file was replaced or removed while it was written (in " + work->path +
              ")";
        return false;
    }
    auto moved = [&] {
        UntrackTemporaryFile(file.slot);
        file.slot = -1;
        return true;
    };
    // Nothing is ever replaced: a rename that refuses to, where the file system has one (not
    // FUSE's ntfs-3g); else a second name made and the first removed, which fails as well when
    // the name is taken; else, where there are no hard links either (FAT), a rename after a
    // look, which a file made between the two would lose to.
    if (work->move == Move::Unknown || work->move == Move::RenameNoReplace) {
        if (::renameat2(work->fd, from, here->fd, to, RENAME_NOREPLACE) == 0) {
            work->move = Move::RenameNoReplace;
            return moved();
        }
        if (errno == EEXIST) {
            taken = true;
            return false;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
            why = Reason("cannot move the output into " + here->path);
            return false;
        }
        work->move = Move::Link;
    }
    if (work->move == Move::Link) {
        if (::linkat(work->fd, from, here->fd, to, 0) == 0) {
            ::unlinkat(work->fd, from, 0);
            return moved();
        }
        if (errno == EEXIST) {
            taken = true;
            return false;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS) {
            why = Reason("cannot move the output into " + here->path);
            return false;
        }
        work->move = Move::CheckedRename;
    }
    struct stat info;
    if (::fstatat(here->fd, to, &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        taken = true;
        return false;
    }
    if (::renameat(work->fd, from, here->fd, to) != 0) {
        why = Reason("cannot move the output into " + here->path);
        return false;
    }
    return moved();
}

bool RemovePlacedFile(const std::string& nativeName, const FileIdentity& identity) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    std::string leaf;
    Held* here = PlaceOf(state, nativeName, leaf);
    struct stat info;
    if (here == nullptr || ::fstatat(here->fd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        IdentityOfStat(info) != identity)
        return false;
    const InterruptsHeld interrupts;
    return ::unlinkat(here->fd, leaf.c_str(), 0) == 0;
}

bool MoveBackToWork(WorkFile& file, const std::string& nativeName) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    Work* work = WorkOf(state, file.identity.device);
    std::string leaf;
    Held* here = PlaceOf(state, nativeName, leaf);
    struct stat info;
    if (work == nullptr || here == nullptr ||
        ::fstatat(here->fd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        IdentityOfStat(info) != file.identity)
        return false;
    const InterruptsHeld interrupts;
    if (::renameat(here->fd, leaf.c_str(), work->fd, file.name.c_str()) != 0) return false;
    file.slot = TrackTemporaryFileIn(work->fd, file.name);
    return true;
}

bool RemoveWorkFile(WorkFile& file, std::string& why) {
    if (file.stream) {
        TrackedFileClosed(file.slot);
        std::fclose(file.stream);
        file.stream = nullptr;
    }
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    Work* work = WorkOf(state, file.identity.device);
    if (work == nullptr || file.name.empty()) return true;
    const InterruptsHeld interrupts;
    struct stat info;
    bool removed = true;
    // Only the very file made: another put in its place is not this run's to remove.
    if (::fstatat(work->fd, file.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        IdentityOfStat(info) == file.identity && ::unlinkat(work->fd, file.name.c_str(), 0) != 0) {
        why = Reason(Joined(work->path, file.name) + " was left behind, as it cannot be removed");
        removed = false;
    }
    UntrackTemporaryFile(file.slot);
    file.slot = -1;
    return removed;
}

bool SyncFile(std::FILE* stream) {
    return std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
}

std::optional<FileIdentity> IdentityOf(std::FILE* stream) {
    struct stat info;
    if (::fstat(::fileno(stream), &info) != 0) return std::nullopt;
    return IdentityOfStat(info);
}

}  // namespace platform

}  // namespace veskar
