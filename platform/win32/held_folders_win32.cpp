// SPDX-License-Identifier: Apache-2.0
// The folders a run writes into, held open, and the work folder in which each output is
// written whole before it is moved into its place, on Windows.
//
// A folder is held by a handle that shares neither deletion nor renaming, so that it stays
// what its path names while the run holds it; the current folder is the held one. Work files
// are made with exclusive creation, moved by MoveFileEx without replacing, and removed only
// while they are still the file made (its volume and file index). A folder that is a reparse
// point (a junction, a symbolic link) is refused where a folder is expected.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
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
#include "platform/win32/quiet_errors_win32.h"
#include "platform/win32/wide_text_win32.h"

namespace veskar {

namespace platform {

namespace {

constexpr std::string_view kWorkPrefix = ".veskar-";
constexpr const char* kMarkName = "veskar-work";
constexpr std::string_view kMark = "VESKAR work folder: outputs being written\n";

std::string Joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || IsSeparator(folder.back())) return folder + name;
    return folder + "\\" + name;
}

std::string Reason(const std::string& what) {
    char text[256] = "";
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     ::GetLastError(), 0, text, sizeof text, nullptr);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return what + ": " + reason;
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(handle, &information)) return std::nullopt;
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// What bears `path` now, without following a reparse point at its end.
std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    const win32::QuietErrors quiet;
    const HANDLE handle = ::CreateFileA(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::optional<FileIdentity> identity = IdentityOfHandle(handle);
    ::CloseHandle(handle);
    return identity;
}

// A folder held: neither removed nor renamed while its handle is open.
HANDLE OpenFolder(const std::string& path) {
    const win32::QuietErrors quiet;
    return ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

struct Held {
    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    FileIdentity identity;
    bool cleared = false;  // what interrupted runs left here has been removed
    // The times it is given when the holding ends.
    bool dated = false;
    std::optional<std::int64_t> modified{}, created{};
};

struct Work {
    std::uint64_t volume = 0;
    std::string path;
    HANDLE mark = INVALID_HANDLE_VALUE;
    int folderSlot = -1;
    unsigned next = 0;
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

// The leftovers of an interrupted run: marked work folders whose mark nobody holds open.
void RemoveLeftovers(Holdings& state, const Held& folder) {
    const win32::QuietErrors quiet;
    WIN32_FIND_DATAA found;
    const HANDLE search =
        ::FindFirstFileA(Joined(folder.path, std::string(kWorkPrefix) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> candidates;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            candidates.emplace_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    for (const std::string& name : candidates) {
        const std::string work = Joined(folder.path, name);
        // A live run keeps its mark open, shared with nobody.
        const HANDLE mark = ::CreateFileA(Joined(work, kMarkName).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (mark == INVALID_HANDLE_VALUE) continue;
        char said[kMark.size()] = {};
        DWORD read = 0;
        const bool marked = ::ReadFile(mark, said, sizeof said, &read, nullptr) &&
                            read == sizeof said && std::string_view(said, sizeof said) == kMark;
        ::CloseHandle(mark);
        if (!marked) continue;
        std::size_t files = 0;
        const HANDLE inner = ::FindFirstFileA(Joined(work, "*").c_str(), &found);
        if (inner != INVALID_HANDLE_VALUE) {
            do {
                const std::string file = found.cFileName;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY || file == kMarkName)
                    continue;
                if (::DeleteFileA(Joined(work, file).c_str())) ++files;
            } while (::FindNextFileA(inner, &found));
            ::FindClose(inner);
        }
        ::DeleteFileA(Joined(work, kMarkName).c_str());
        if (::RemoveDirectoryA(work.c_str()))
            state.notices.push_back({false, "removed what an interrupted run left in " + work +
                                                " (" + std::to_string(files) +
                                                (files == 1 ? " file)" : " files)")});
        else
            state.notices.push_back(
                {true, Reason("an interrupted run left " + work + ", which cannot be removed")});
    }
}

Held* Hold(Holdings& state, const std::string& path, HANDLE handle, FileIdentity identity) {
    state.folders.push_back(std::make_unique<Held>(Held{path, handle, identity}));
    return state.folders.back().get();
}

Held* Here(Holdings& state, std::string& why) {
    if (state.current) return state.current;
    const std::string path = CurrentFolder();
    const HANDLE handle = state.depth > 0 ? OpenFolder(path) : INVALID_HANDLE_VALUE;
    const std::optional<FileIdentity> identity =
        handle == INVALID_HANDLE_VALUE ? std::nullopt : IdentityOfHandle(handle);
    if (!identity) {
        why = "no target folder is held";
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        return nullptr;
    }
    state.current = Hold(state, path, handle, *identity);
    return state.current;
}

Work* WorkFolder(Holdings& state, std::string& why) {
    Held* here = Here(state, why);
    if (here == nullptr) return nullptr;
    for (const auto& work : state.works)
        if (work->volume == here->identity.device) return work.get();
    auto work = std::make_unique<Work>();
    work->volume = here->identity.device;
    std::random_device random;
    bool made = false;
    for (int attempt = 0; attempt < 16 && !made; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%lu-%08x", kWorkPrefix.data(),
                      static_cast<unsigned long>(::GetCurrentProcessId()),
                      static_cast<unsigned>(random()));
        work->path = Joined(here->path, name);
        made = ::CreateDirectoryA(work->path.c_str(), nullptr) != 0;
        if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            why = Reason("cannot make the work folder in " + here->path);
            return nullptr;
        }
    }
    if (!made) {
        why = "no free name for a work folder in " + here->path;
        return nullptr;
    }
    ::SetFileAttributesA(work->path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::string mark = Joined(work->path, kMarkName);
    {
        const InterruptsHeld interrupts;
        work->folderSlot = TrackTemporaryFileIn(-1, work->path, true);
        work->mark = ::CreateFileA(mark.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD written = 0;
    if (work->mark == INVALID_HANDLE_VALUE ||
        !::WriteFile(work->mark, kMark.data(), static_cast<DWORD>(kMark.size()), &written,
                     nullptr) ||
        written != kMark.size()) {
        why = Reason("cannot mark the work folder " + work->path);
        if (work->mark != INVALID_HANDLE_VALUE) {
            ::CloseHandle(work->mark);
            ::DeleteFileA(mark.c_str());
        }
        ::RemoveDirectoryA(work->path.c_str());
        UntrackTemporaryFile(work->folderSlot);
        return nullptr;
    }
    state.works.push_back(std::move(work));
    return state.works.back().get();
}

Work* WorkOf(Holdings& state, std::uint64_t volume) {
    for (const auto& work : state.works)
        if (work->volume == volume) return work.get();
    return nullptr;
}

// The volume's own handle, which only an administrator may flush; elsewhere every file was
// flushed as it was closed.
void FlushVolume(const std::string& folder) {
    char root[MAX_PATH] = "";
    if (!::GetVolumePathNameA(folder.c_str(), root, sizeof root) || root[1] != ':') return;
    const char device[] = {'\\', '\\', '.', '\\', root[0], ':', '\0'};
    const win32::QuietErrors quiet;
    const HANDLE volume = ::CreateFileA(device, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return;
    ::FlushFileBuffers(volume);
    ::CloseHandle(volume);
}

void Release(Holdings& state) {
    for (const auto& work : state.works) {
        ::CloseHandle(work->mark);
        ::DeleteFileA(Joined(work->path, kMarkName).c_str());
        if (!::RemoveDirectoryA(work->path.c_str()))
            state.notices.push_back({true, Reason("the work folder " + work->path +
                                                  " was left behind, as it cannot be removed")});
        UntrackTemporaryFile(work->folderSlot);
    }
    state.works.clear();
    for (const auto& folder : state.folders)
        if (folder->dated && !SetFolderTimes(folder->path, folder->modified, folder->created))
            state.notices.push_back(
                {true, Reason("the folder " + folder->path + " could not be given its dates")});
    std::vector<std::uint64_t> flushed;
    for (const auto& folder : state.folders) {
        if (std::find(flushed.begin(), flushed.end(), folder->identity.device) == flushed.end()) {
            flushed.push_back(folder->identity.device);
            FlushVolume(folder->path);
        }
        ::CloseHandle(folder->handle);
    }
    state.folders.clear();
    state.current = nullptr;
}

std::string WorkPath(const Work& work, const std::string& name) {
    return Joined(work.path, name);
}

}  // namespace

// Windows can flush a volume only for an administrator: every output is flushed as it is
// closed, so that a run's results are on the disk when it reports them.
const bool kSyncEachFile = true;

EnteredFolder EnterFolder(const std::string& path) {
    EnteredFolder result;
    if (path.empty()) return result;
    Holdings& state = State();
    {
        const std::lock_guard lock(state.mutex);
        if (state.depth > 0) {
            const std::optional<FileIdentity> now = IdentityOfPath(path);
            Held* held = FindHeld(state, path);
            if (held && (!now || *now != held->identity)) {
                result.problem = "the target folder " + path +
                                 " is not the folder this run began writing into: it was moved, "
                                 "replaced or removed meanwhile";
                return result;
            }
            if (!held) {
                const HANDLE handle = OpenFolder(path);
                const std::optional<FileIdentity> opened =
                    handle == INVALID_HANDLE_VALUE ? std::nullopt : IdentityOfHandle(handle);
                if (!opened) {
                    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
                    result.problem = "the target folder " + path + " cannot be entered";
                    return result;
                }
                held = Hold(state, path, handle, *opened);
            }
            state.current = held;
        }
    }
    if (!SetCurrentFolder(path)) {
        result.problem = "the target folder " + path + " cannot be entered";
        return result;
    }
    return {true, VolumeId("."), {}};
}

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
    const win32::QuietErrors quiet;
    if (create) {
        if (::CreateDirectoryA(path.c_str(), nullptr)) {
            if (made) *made = true;
        } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            why = Reason("the folder " + path + " cannot be created");
            return Subfolder::Refused;
        }
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!create) return Subfolder::Missing;
        why = Reason("the folder " + path + " cannot be opened");
        return Subfolder::Refused;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        why = path + " is a symbolic link, not a folder";
        return Subfolder::Refused;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "a file " + path + " is where its folder would be";
        return Subfolder::Refused;
    }
    if (state.depth == 0) return Subfolder::Held;
    const HANDLE handle = OpenFolder(path);
    const std::optional<FileIdentity> identity =
        handle == INVALID_HANDLE_VALUE ? std::nullopt : IdentityOfHandle(handle);
    if (!identity) {
        why = Reason("the folder " + path + " cannot be opened");
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        return Subfolder::Refused;
    }
    Hold(state, path, handle, *identity);
    return Subfolder::Held;
}

std::optional<RawFile> HeldFolderInCurrent(const std::string&) {
    return std::nullopt;
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
    const std::string path = WorkPath(*work, file.name);
    int fd = -1;
    {
        const InterruptsHeld interrupts;
        fd = ::_open(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) file.slot = TrackTemporaryFileIn(-1, path);
    }
    const std::optional<FileIdentity> identity =
        fd < 0 ? std::nullopt : IdentityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
    if (!identity || (file.stream = ::_fdopen(fd, "w+b")) == nullptr) {
        why = "cannot create a file in the work folder " + work->path + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::_close(fd);
            ::DeleteFileA(path.c_str());
        }
        UntrackTemporaryFile(file.slot);
        file.slot = -1;
        return file;
    }
    file.identity = *identity;
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
    const std::wstring path =
        PathOfNative(WorkPath(*work, file.name)).native() + L":" + win32::WideOfUtf8(stream);
    const int fd =
        ::_wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        why = "cannot create the " + std::string(stream) + " stream: " + std::strerror(errno);
        return made;
    }
    // A stream shares its file's identity; another one means the file went, and opening its
    // stream made a new, empty one, which is taken back.
    const std::optional<FileIdentity> identity =
        IdentityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
    if (!identity || *identity != file.identity) {
        ::_close(fd);
        if (identity && IdentityOfPath(WorkPath(*work, file.name)) == identity)
            ::DeleteFileA(WorkPath(*work, file.name).c_str());
        why = "the output's file went away while it was written (in " + work->path + ")";
        return made;
    }
    made.stream = ::_fdopen(fd, "w+b");
    if (made.stream == nullptr) {
        why = "cannot create the " + std::string(stream) + " stream: " + std::strerror(errno);
        ::_close(fd);
    }
    return made;
}

bool CloseWorkStream(WorkStream& stream) {
    if (stream.stream == nullptr) return true;
    const bool closed = SyncFile(stream.stream) && std::fclose(stream.stream) == 0;
    stream = {};
    return closed;
}

std::string CurrentHeldFolder() {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    return state.current ? state.current->path : CurrentFolder();
}

// A name "SUB/NAME" is a path beneath the held folder, which Windows takes as it is.
bool MoveIntoPlace(WorkFile& file, const std::string& nativeName, bool& taken, std::string& why) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    taken = false;
    Work* work = WorkOf(state, file.identity.device);
    Held* here = state.current;
    if (work == nullptr || here == nullptr) {
        why = "the work folder is gone";
        return false;
    }
    const win32::QuietErrors quiet;
    if (IdentityOfPath(WorkPath(*work, file.name)) != file.identity) {
        why = "the output's file was replaced or removed while it was written (in " + work->path +
              ")";
        return false;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move never replaces what bears the name.
    if (::MoveFileExA(WorkPath(*work, file.name).c_str(), Joined(here->path, nativeName).c_str(),
                      0)) {
        UntrackTemporaryFile(file.slot);
        file.slot = -1;
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        taken = true;
        return false;
    }
    why = Reason("cannot move the output into " + here->path);
    return false;
}

bool RemovePlacedFile(const std::string& nativeName, const FileIdentity& identity) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    Held* here = state.current;
    if (here == nullptr) return false;
    const std::string placed = Joined(here->path, nativeName);
    if (IdentityOfPath(placed) != identity) return false;
    const InterruptsHeld interrupts;
    return ::DeleteFileA(placed.c_str()) != 0;
}

bool MoveBackToWork(WorkFile& file, const std::string& nativeName) {
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    Work* work = WorkOf(state, file.identity.device);
    Held* here = state.current;
    if (work == nullptr || here == nullptr) return false;
    const std::string placed = Joined(here->path, nativeName);
    if (IdentityOfPath(placed) != file.identity) return false;
    const InterruptsHeld interrupts;
    if (!::MoveFileExA(placed.c_str(), WorkPath(*work, file.name).c_str(), 0)) return false;
    file.slot = TrackTemporaryFileIn(-1, WorkPath(*work, file.name));
    return true;
}

bool RemoveWorkFile(WorkFile& file, std::string& why) {
    if (file.stream) {
        std::fclose(file.stream);
        file.stream = nullptr;
    }
    Holdings& state = State();
    const std::lock_guard lock(state.mutex);
    Work* work = WorkOf(state, file.identity.device);
    if (work == nullptr || file.name.empty()) return true;
    const std::string path = WorkPath(*work, file.name);
    const InterruptsHeld interrupts;
    bool removed = true;
    if (IdentityOfPath(path) == file.identity && !::DeleteFileA(path.c_str())) {
        why = Reason(path + " was left behind, as it cannot be removed");
        removed = false;
    }
    UntrackTemporaryFile(file.slot);
    file.slot = -1;
    return removed;
}

bool SyncFile(std::FILE* stream) {
    return std::fflush(stream) == 0 &&
           ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))));
}

std::optional<FileIdentity> IdentityOf(std::FILE* stream) {
    return IdentityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))));
}

}  // namespace platform

}  // namespace veskar
