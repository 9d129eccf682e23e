// SPDX-License-Identifier: Apache-2.0
// The operating-system services the converter relies on, with one meaning on every system.
// Nothing above this layer includes an OS header; platform/posix and platform/win32 each
// implement every function declared here and the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace veskar {

namespace platform {

// The separator the system writes between path components; IsSeparator also accepts the
// other one where the system does (Windows takes both '\' and '/').
extern const char kPathSeparator;
bool IsSeparator(char c);
// Where the file-name part of `path` begins: after its last separator, or on Windows after
// the drive of a drive-relative path ("C:doc" names "doc" in drive C's current folder); 0
// when the path is a name alone.
std::size_t FileNameStart(std::string_view path);

// Longest path the imports accept for a derived path (companion, intermediates).
extern const std::size_t kMaxPathChars;

// --- Current folder ---------------------------------------------------------------------
bool SetCurrentFolder(const std::string& path);
std::string CurrentFolder();
// Makes `path` the current folder and tells which volume holds it (VolumeId of the folder):
// `entered` false, with `problem` saying why, when it cannot be entered. Within a holding
// (BeginHolding) a folder is opened once, the first time it is entered, and held: entering it
// again makes the open folder current, and only while `path` still names it (a folder moved,
// replaced or removed meanwhile is not entered, nor what took its place). A folder entered
// last by the same path that is still the current folder, and still the folder that path
// names, is not entered again, and the look at it that tells so also serves the next name
// lookup in it: a batch into one folder asks the file system about that folder once per file.
struct EnteredFolder {
    bool entered = false;
    std::optional<std::uint64_t> volume;
    std::string problem;
};
EnteredFolder EnterFolder(const std::string& path);
// Something was made or removed in the current folder that the name lookups are not told of
// (a probe file): the look EnterFolder took no longer serves them.
void ForgetFolderLook();
// A folder path in the form the window keeps and shows, ending in a separator. On Windows a
// backslash is appended when the path is longer than 3 characters, so a drive root such as
// C:\ keeps its one backslash; on Linux a '/' is appended unless the path ends in one, so '/'
// stays '/'. An empty path stays empty: it names no folder.
std::string WithTrailingSeparator(std::string folder);

// --- Names --------------------------------------------------------------------------------
// Whether native strings are UTF-8, where one character may take several bytes (Linux), or
// 8-bit Windows text, one byte a character (Windows).
extern const bool kNativeTextIsUtf8;
// Output names are 8-bit Windows (code page 1252) text. This turns one into the string the
// file system takes: identity on Windows, UTF-8 on Linux.
std::string AnsiToNative(std::string_view ansi);
// The reverse, for names that come from native paths (a source's own file name). Characters
// that code page 1252 cannot hold are returned as nullopt so the caller can decide.
std::optional<std::string> NativeToAnsi(std::string_view native);

// A standard-library path from a native string, and back. On Windows the standard library's
// own narrow strings are neither the ANSI code page nor one encoding both ways, so both go
// through the path's wide form; on Linux nothing changes. A character that the ANSI code
// page cannot hold comes back as '?', which no file name may contain, so such a file is
// reported as one that cannot be opened rather than taken for another.
std::filesystem::path PathOfNative(std::string_view native);
std::string NativeOfPath(const std::filesystem::path& path);

// A native string (a path, a message naming one) as UTF-8, for output that must be UTF-8
// such as JSON: identity on Linux, code page 1252 to UTF-8 on Windows. Bytes that are not
// UTF-8 on Linux pass unchanged; the caller escapes them.
std::string NativeToUtf8(std::string_view native);
// UTF-8 text (an extended attribute's name) as native text for messages: identity on Linux,
// code page 1252 on Windows, where a character it lacks shows as '?'.
std::string Utf8ToNative(std::string_view utf8);

// The native path, relative to the current folder, of an output file or of one of its named
// streams ("./Name" or "./Name:AFP_Resource"). Going through "." keeps a one-letter name
// from reading as a drive.
std::string OutputPath(std::string_view ansiName, std::string_view streamName = {});

// --- File search --------------------------------------------------------------------------
enum class Found { Nothing, File, Folder };
// Looks up an 8-bit Windows name in the current folder the way NTFS matches names: letter
// case does not count. No wildcard handling; callers reject '*' and '?' before calling.
Found FindInCurrentFolder(std::string_view ansiName);
// The same for a native name.
Found FindNativeInCurrentFolder(const std::string& nativeName);
// What bears the first of several native names that something bears, with one look at the
// folder for all of them.
Found FindAnyNativeInCurrentFolder(std::span<const std::string> nativeNames);
// The name, spelt as `folder` holds it, of what bears the native name `nativeName` whatever
// its letter case: the name itself when it is there as given; nullopt when nothing bears it.
// Read afresh on every call (for names beside a source, not for the outputs).
std::optional<std::string> NameInFolder(const std::string& folder, std::string_view nativeName);
// True when anything in `folder` bears the native name `nativeName`, whatever its letter case.
inline bool NameTakenInFolder(const std::string& folder, std::string_view nativeName) {
    return NameInFolder(folder, nativeName).has_value();
}
// Tells the lookup cache that this call created the file, so large folders need not be read
// again after every output.
void NoteCreatedInCurrentFolder(std::string_view ansiName);
void NoteNativeCreatedInCurrentFolder(const std::string& nativeName);
void NoteNativeCreatedInCurrentFolder(std::span<const std::string> nativeNames);

// --- Folder listings ------------------------------------------------------------------------
// Calls `take` with the native name and the type of each entry of `folder` ("." and ".."
// left out), links not followed: regular, directory, symlink, or unknown for anything else.
// False, with `error` saying why, when the folder cannot be read.
bool ListFolder(const std::filesystem::path& folder,
                const std::function<void(std::string_view, std::filesystem::file_type)>& take,
                std::error_code& error);

// --- Temporary files ------------------------------------------------------------------------
// The temporary folder, ending in a separator; empty when there is none.
std::string TempFolder();
// Creates a new empty file in `folder` whose name begins with `prefix` and returns its path;
// nullopt when none could be created. Never returns the name of a file that existed.
std::optional<std::string> CreateTempFile(const std::string& folder, std::string_view prefix);
// Creates `path` as a new empty file, failing if anything of that name exists.
bool CreateNewFile(const std::string& path);
bool RemoveFile(const std::string& path);
bool IsWritableFolder(const std::string& folder);

// --- Volumes ------------------------------------------------------------------------------
struct VolumeInfo {
    bool namedStreams = false;  // "name:stream" really opens a named stream there
    std::uint32_t maxNameLength = 0;
    std::string fileSystem;  // "NTFS" where it is one
    std::string advice;      // why a folder cannot take the streams, and what to do
};
VolumeInfo QueryVolume(const std::string& folder);
// Which volume holds `folder`: a number that changes when another volume is mounted there
// (or the volume there goes away), nullopt when it cannot be told. Cheap: one system call.
std::optional<std::uint64_t> VolumeId(const std::string& folder);
// The folder chooser's test: the volume's longest file name component when the folder's
// volume is NTFS and takes named streams, otherwise 0 (also when it cannot be queried).
// Callers test only for non-zero. On Windows only the path's drive letter counts; on Linux
// the folder itself is probed, so only an ntfs-3g mount with the Windows stream interface
// passes (not FAT, ext4, the ntfs3 driver or a network mount).
std::uint32_t IsNtfsVolume(const std::string& path);

// --- Held folders and work files -----------------------------------------------------------
// A run (the command line's batch, one Convert of the window, or a single import outside
// either) holds the folders it writes into: each is opened once, and every output is made,
// moved and removed relative to the open folder, never through its path again and never
// through a link. An output is written whole in the run's work folder, a hidden folder of its
// own on the target's volume (".veskar-" and a mark inside, locked while the run lives), and
// only then moved into its place under its name, without replacing anything.

// An open file's descriptor beneath a C stream (see RawOf below).
struct RawFile {
    int handle = -1;
};

// What a file or folder is, whatever names it has.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Holdings nest; when the outermost ends, the work folders are removed, what was written is
// put on the disk (each volume synced once) and the folders are let go.
void BeginHolding();
void EndHolding();
class Holding {
  public:
    Holding() { BeginHolding(); }
    ~Holding() { EndHolding(); }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;
};

// The folder `name` inside the held folder at `parent`, held in its turn (and made first when
// `create` and it is missing), never through a link: Held, with `path` the held folder's path;
// Missing (only without `create`); or Refused with `why` ("... is a symbolic link, not a
// folder", a file where the folder would be, or the system's reason). `made`, when given, tells
// whether this call made the folder.
enum class Subfolder { Held, Missing, Refused };
Subfolder HoldSubfolder(const std::string& parent, const std::string& name, bool create,
                        std::string& path, std::string& why, bool* made = nullptr);

// The path of the held folder outputs go into now (the current folder outside a holding).
std::string CurrentHeldFolder();

// The folder `nativeName` inside the current held folder, as HoldSubfolder holds it, open for
// its attributes and times (the holding closes it); nullopt when it is not held, and on
// Windows, whose folders take no user attributes.
std::optional<RawFile> HeldFolderInCurrent(const std::string& nativeName);
// Gives that folder these times when the holding ends, once the run's work folders are
// removed: making and removing them, like every output put in the folder, moves its
// modification time on.
void SetFolderTimesAtEnd(const std::string& nativeName, std::optional<std::int64_t> modified,
                         std::optional<std::int64_t> created);

// What the holdings found and did that a person should hear of, taken once: the leftovers of
// interrupted runs removed, and the `trouble` of work folders that could not be removed or a
// volume that did not take what was written.
struct HoldingNotice {
    bool trouble = false;
    std::string text;
};
std::vector<HoldingNotice> TakeHoldingNotices();

// A file being written in the current folder's work folder (made on first use), created
// exclusively for reading and writing and registered for removal on an interrupt until it is
// moved into place or removed. Null with `why` when it cannot be made.
struct WorkFile {
    std::FILE* stream = nullptr;
    std::string name;  // in the work folder
    FileIdentity identity;
    int slot = -1;  // its interrupt slot
};
WorkFile CreateWorkFile(std::string& why);
// A named stream of a work file (NTFS), created exclusively on the very file made: when the
// work file is gone, what opening its stream made instead is removed, and the answer has no
// stream, with `why` saying so. Registered so that an interrupt closes it before the file is
// removed, until CloseWorkStream.
struct WorkStream {
    std::FILE* stream = nullptr;
    int slot = -1;
};
// `stream` is UTF-8, as for CreateNamedStream.
WorkStream CreateWorkStream(const WorkFile& file, std::string_view stream, std::string& why);
// False when what was written did not all reach the stream.
bool CloseWorkStream(WorkStream& stream);
// Moves the work file into the current folder as `nativeName`, never replacing: false with
// `taken` set when something bears that name (a case the caller answers with another name),
// or with `why`. A name "SUB/NAME" goes into the subfolder SUB of the current folder, which
// the run must hold (HoldSubfolder).
bool MoveIntoPlace(WorkFile& file, const std::string& nativeName, bool& taken, std::string& why);
// Removes the file placed at `nativeName` in the current folder (or "SUB/NAME" in a held
// subfolder), if it is still the file `identity` names: an output taken back after it was
// placed. False when it is another's or cannot be removed.
bool RemovePlacedFile(const std::string& nativeName, const FileIdentity& identity);
// Moves a file MoveIntoPlace put at `nativeName` back into the work folder, if it is still
// that file (a pair whose second file found its name taken).
bool MoveBackToWork(WorkFile& file, const std::string& nativeName);
// Removes the work file if it is still the file made (it is closed first when still open);
// false with `why` naming what was left.
bool RemoveWorkFile(WorkFile& file, std::string& why);
// Writes the file's data to the disk before it is reported (--sync).
bool SyncFile(std::FILE* stream);
// Whether every output file is written to the disk as it is closed in any case: where the
// volume as a whole cannot be, at the end of a run (Windows, without an administrator).
extern const bool kSyncEachFile;
// The identity of an open file.
std::optional<FileIdentity> IdentityOf(std::FILE* stream);

// --- Extended attributes --------------------------------------------------------------------
// Whether files in `folder` take extended attributes in the user namespace (where Samba and
// netatalk keep Finder information and streams); `reason` says why not. Found by setting one
// on a probe file, which is removed.
struct AttributeSupport {
    bool takes = false;
    std::string reason;
};
AttributeSupport QueryUserAttributes(const std::string& folder);
// Sets the user attribute `name` (without "user.") of the file at `path`, which must not have
// it yet. False with errno set (E2BIG or ENOSPC: the value does not fit).
bool SetUserAttribute(const std::string& path, std::string_view name, const void* bytes,
                      std::size_t count);
// The user attributes of an open file or folder: each name without "user." and its value, in
// the order the file system lists them. nullopt (errno set) when they cannot be read; empty on
// Windows, which keeps none.
using UserAttributes = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;
std::optional<UserAttributes> UserAttributesOf(RawFile file);

// --- NTFS named streams ---------------------------------------------------------------------
// The names (UTF-8) of the named data streams of the file or folder at `nativePath`: ntfs-3g's
// list of them on Linux, the system's on Windows. Empty when it has none, or its volume keeps
// none.
std::vector<std::string> NamedStreamsOf(const std::string& nativePath);
// Opens the named stream `utf8Stream` of the file or folder at `nativePath` for reading;
// `size`, when given, gets its size as the open found it.
std::FILE* OpenNamedStream(const std::string& nativePath, std::string_view utf8Stream,
                           std::uint64_t* size = nullptr);

// --- Streams ------------------------------------------------------------------------------
// True when the stream is a terminal (a progress display makes sense there).
bool IsTerminal(std::FILE* stream);
// fopen with the C runtime's modes, for native paths. A stream opened only for reading must be
// a regular file: a folder fails with EISDIR, and a FIFO, socket or device with ESPIPE without
// waiting for a writer, so that no source can hang an import or feed it endless bytes.
std::FILE* OpenStream(const std::string& nativePath, const char* mode);
// Creates (or empties) for writing the named stream `utf8Stream` of the file or folder
// `nativeName` in the current folder (NTFS). The stream's name is UTF-8, which on Windows
// goes through the wide calls: it may hold what code page 1252 lacks.
std::FILE* CreateNamedStream(const std::string& nativeName, std::string_view utf8Stream);
// OpenStream(nativePath, "rb"), telling the size its check of the file found, and, when
// `modified` is given, the modification time (on a FUSE volume each look at a file is a
// request of its own: a tree's reading asks once).
std::FILE* OpenSource(const std::string& nativePath, std::uint64_t& size,
                      std::optional<std::int64_t>* modified = nullptr);
// 64-bit stream positions.
std::optional<std::uint64_t> Tell(std::FILE* stream);
bool Seek(std::FILE* stream, std::uint64_t offset);
// Size of the open file, nullopt when it cannot be told (a pipe, say).
std::optional<std::uint64_t> StreamSize(std::FILE* stream);

// Reads and writes at the operating-system level beneath a C stream, from the file's own
// position. Callers flush the stream first and reposition it afterwards.
RawFile RawOf(std::FILE* stream);
bool RawSeek(RawFile file, std::uint64_t offset);
// Bytes read, 0 at the end of the file, -1 on error.
std::int64_t RawRead(RawFile file, void* buffer, std::size_t count);
// Writes everything or fails.
bool RawWriteAll(RawFile file, const void* buffer, std::size_t count);
// The same at given offsets, for callers that know where each piece goes; the files' own
// positions stay as they were.
std::int64_t RawReadAt(RawFile file, std::uint64_t offset, void* buffer, std::size_t count);
bool RawWriteAllAt(RawFile file, std::uint64_t offset, const void* buffer, std::size_t count);
// SetUserAttribute for a file the caller has open, which spares looking its name up again.
bool SetUserAttribute(RawFile file, std::string_view name, const void* bytes, std::size_t count);

// --- Times --------------------------------------------------------------------------------
// Sets an open file's modification time and, where the file system keeps one that can be set
// (NTFS: through ntfs-3g's system.ntfs_crtime on Linux, SetFileTime on Windows), its creation
// time; each left as it is when absent. Seconds since 1970-01-01 00:00 UTC. False (errno set)
// when the modification time could not be set; a creation time the file system cannot keep
// is passed over.
bool SetFileTimes(RawFile file, std::optional<std::int64_t> modified,
                  std::optional<std::int64_t> created);
// The same for the folder `nativeName` inside the current folder, never through a link.
bool SetFolderTimes(const std::string& nativeName, std::optional<std::int64_t> modified,
                    std::optional<std::int64_t> created);
// An open file's or folder's modification time and, where the file system keeps one (NTFS),
// its creation time.
struct FileTimes {
    std::optional<std::int64_t> modified;
    std::optional<std::int64_t> created;
};
FileTimes TimesOf(RawFile file);
// Only the creation time, where the file system keeps one.
std::optional<std::int64_t> CreationTimeOf(RawFile file);
// A folder opened for reading its attributes, streams and times, never through a link; closed
// with CloseFolder. nullopt (errno set) when it cannot be.
std::optional<RawFile> OpenFolderForReading(const std::string& nativePath);
void CloseFolder(RawFile folder);

}  // namespace platform

}  // namespace veskar
