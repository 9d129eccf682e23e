// SPDX-License-Identifier: Apache-2.0
// Finding a name in the current folder regardless of letter case, as NTFS matches names.
//
// Linux file systems, ntfs-3g included, compare names byte for byte, so a case-insensitive
// match means comparing against every entry of the folder. What is kept between calls is of
// fixed size, whatever the folder holds: a Bloom filter of the current folder's folded
// names, built again only when the folder has changed, which its identity and its
// modification and change times (to the nanosecond) tell. A name the filter has never seen
// is not there; one it may have seen is confirmed by reading the folder and comparing the
// folded names one by one.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <locale>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/common/charsets.h"
#include "platform/platform.h"
#include "platform/posix/held_folders_posix.h"

namespace veskar {

namespace platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char32_t), "wchar_t holds a Unicode code point");

// A name with every character in simple upper case: the comparison key.
using FoldedName = std::u32string;

// Unicode simple upper-case mapping through the C library's UTF-8 locale, the closest match
// to the upper-case table NTFS compares with; ASCII only when no such locale is installed.
class CaseFolder {
  public:
    CaseFolder() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            try {
                locale_ = std::locale(name);
                ctype_ = &std::use_facet<std::ctype<wchar_t>>(locale_);
                return;
            } catch (const std::runtime_error&) {
            }
        }
    }

    FoldedName Fold(std::string_view native) const {
        FoldedName folded;
        folded.reserve(native.size());
        FoldEach(native, [&](char32_t c) { folded.push_back(c); });
        return folded;
    }

    // The folded name's hash, without making the folded name.
    std::uint64_t Hash(std::string_view native) const {
        std::uint64_t hash = 0xcbf29ce484222325;  // 64-bit FNV-1a over the code points
        FoldEach(native, [&](char32_t c) {
            hash ^= c;
            hash *= 0x100000001b3;
        });
        return hash;
    }

  private:
    template <class Take>
    void FoldEach(std::string_view native, Take&& take) const {
        for (std::size_t at = 0; at < native.size();) {
            const std::size_t start = at;
            const char32_t c = charsets::DecodeUtf8(native, at);
            if (c == charsets::kNotUtf8) {
                // A byte that is not UTF-8 (a name written by another program) stands for
                // itself as a lone surrogate, which no well-formed name can produce.
                take(0xDC00 + static_cast<unsigned char>(native[start]));
            } else if (c < 0x80) {
                take(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            } else if (ctype_ != nullptr) {
                take(static_cast<char32_t>(ctype_->toupper(static_cast<wchar_t>(c))));
            } else {
                take(c);
            }
        }
    }

    std::locale locale_;
    const std::ctype<wchar_t>* ctype_ = nullptr;
};

// What tells one state of a folder from another.
struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};
};

FolderStamp StampOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_mtim, info.st_ctim};
}

bool operator==(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool operator<(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameFolder(const FolderStamp& a, const FolderStamp& b) {
    return a.device == b.device && a.inode == b.inode;
}

bool SameState(const FolderStamp& a, const FolderStamp& b) {
    return SameFolder(a, b) && a.modified == b.modified && a.changed == b.changed;
}

// A folder's times move on only at the file system's clock tick, so an entry added within
// the tick of the last change leaves them as they were. A listing read that soon after a
// change is not trusted to be complete: a name it lacks is looked for again.
constexpr std::time_t kSettleSeconds = 2;

bool Settled(const FolderStamp& stamp) {
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    timespec last = stamp.changed < stamp.modified ? stamp.modified : stamp.changed;
    last.tv_sec += kSettleSeconds;
    return last < now;
}

// The folded names of one folder as a Bloom filter: 128 KiB, five probes per name. Up to
// some 30,000 names fewer than one lookup in 10,000 of a name that is not there needs the
// folder read to confirm; with more names that grows, the memory does not.
class NameFilter {
  public:
    void Clear() { bits_.fill(0); }
    void Add(std::uint64_t hash) {
        ForEachBit(hash, [&](std::size_t bit) { bits_[bit / 64] |= std::uint64_t{1} << bit % 64; });
    }
    bool MayHold(std::uint64_t hash) const {
        bool all = true;
        ForEachBit(hash,
                   [&](std::size_t bit) { all = all && (bits_[bit / 64] >> bit % 64 & 1) != 0; });
        return all;
    }

  private:
    static constexpr std::size_t kBits = std::size_t{1} << 20;
    static constexpr int kProbes = 5;

    // Double hashing: the probes step through the bits by an odd stride, which with a size
    // of a power of two reaches every bit.
    template <class Visit>
    static void ForEachBit(std::uint64_t hash, Visit&& visit) {
        // The FNV hash's low bits mix poorly; a finaliser spreads every input bit over all.
        hash ^= hash >> 33;
        hash *= 0xff51afd7ed558ccd;
        hash ^= hash >> 33;
        const std::uint64_t stride = (hash >> 32) | 1;
        for (int i = 0; i < kProbes; ++i)
            visit(static_cast<std::size_t>((hash + static_cast<std::uint64_t>(i) * stride) &
                                           (kBits - 1)));
    }

    std::array<std::uint64_t, kBits / 64> bits_{};
};

// What is known of the last folder read.
struct FolderCache {
    bool valid = false;
    bool settled = false;
    FolderStamp stamp;
    NameFilter names;
};

// The folder EnterFolder entered last: the path it was given, the current folder's name
// then, and the folder's identity.
struct EnteredPath {
    std::string path;
    std::string current;
    dev_t device = 0;
    ino_t inode = 0;
};

struct LookupState {
    std::mutex mutex;
    CaseFolder folder;
    FolderCache cache;
    // The look EnterFolder took at the folder it made current, for the next lookup in it.
    std::optional<struct stat> entered;
    std::optional<EnteredPath> last;
};

LookupState& State() {
    static LookupState state;
    return state;
}

// Reads the current folder, whose state before reading is `stamp`: a change made while it is
// read leaves the folder different from `stamp`, so the next call reads it again.
bool ReadFolder(LookupState& state, const FolderStamp& stamp) {
    FolderCache& cache = state.cache;
    cache.valid = false;
    cache.names.Clear();
    DIR* dir = ::opendir(".");
    if (dir == nullptr) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        cache.names.Add(state.folder.Hash(name));
    }
    ::closedir(dir);
    cache.valid = true;
    cache.stamp = stamp;
    cache.settled = Settled(stamp);
    return true;
}

// The first entry of the current folder, in the folder's own order, whose folded name is
// `key` (whose hash is `hash`); nullopt when there is none or the folder cannot be read.
std::optional<std::string> FindFolded(const LookupState& state, const FoldedName& key,
                                      std::uint64_t hash) {
    DIR* dir = ::opendir(".");
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        // The hash sorts out all but the name itself without making a folded copy of each.
        if (state.folder.Hash(name) == hash && state.folder.Fold(name) == key) {
            found = std::string(name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Whatever bears the name: a link counts as what it points to, and a link to nothing still
// takes the name, so it counts as a file.
Found KindOf(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? Found::Folder : Found::File;
    if (::lstat(path.c_str(), &info) == 0) return Found::File;
    return Found::Nothing;
}

// ntfs-3g leaves an NTFS volume's own files ($MFT, $Extend, ...) out of the root's listing but
// opens them by their exact names; to Windows another spelling of one is the same name.
Found KindOfNtfsMetadataFile(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kNames = {
        "$MFT",  "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", "$Bitmap",
        "$Boot", "$BadClus", "$Secure",  "$UpCase", "$Extend"};
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (const std::string_view known : kNames)
        if (std::ranges::equal(known, name, {}, lower, lower)) return KindOf(std::string(known));
    return Found::Nothing;
}

// What bears a name that the folder's listing lacks: only an NTFS volume's own files.
Found KindOfUnlisted(const std::string& native) {
    return native.front() == '$' ? KindOfNtfsMetadataFile(native) : Found::Nothing;
}

}  // namespace

Found FindInCurrentFolder(std::string_view ansiName) {
    return FindNativeInCurrentFolder(AnsiToNative(ansiName));
}

Found FindNativeInCurrentFolder(const std::string& native) {
    return FindAnyNativeInCurrentFolder(std::span(&native, 1));
}

Found FindAnyNativeInCurrentFolder(std::span<const std::string> names) {
    const auto exactly = [&] {
        for (const std::string& native : names)
            if (const Found kind = native.empty() ? Found::Nothing : KindOf(native);
                kind != Found::Nothing)
                return kind;
        return Found::Nothing;
    };
    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    FolderCache& cache = state.cache;
    // The listing answers first: in a batch nearly every name looked for is free, and the
    // filter tells so without a lookup of the name (which, in a large folder, means reading
    // the folder's entries on disk). The second pass reads the folder afresh, when the first
    // found the listing stale.
    const std::optional<struct stat> entered = std::exchange(state.entered, std::nullopt);
    for (int pass = 0; pass < 2; ++pass) {
        struct stat info;
        if (pass == 0 && entered) {
            info = *entered;
        } else if (::stat(".", &info) != 0) {
            cache.valid = false;
            return exactly();
        }
        const FolderStamp stamp = StampOf(info);
        bool fresh = false;
        if (!cache.valid || !SameState(cache.stamp, stamp)) {
            if (!ReadFolder(state, stamp)) return exactly();
            fresh = true;
        }
        bool stale = false;
        for (const std::string& native : names) {
            if (native.empty()) continue;
            if (native.find('/') != std::string::npos) {
                if (const Found kind = KindOf(native); kind != Found::Nothing) return kind;
                continue;
            }
            const std::uint64_t hash = state.folder.Hash(native);
            if (cache.names.MayHold(hash)) {
                // An exact match decides at once; otherwise the folder as it is now decides,
                // as a name the filter holds may be one that only shares its bits, or one
                // removed.
                if (const Found exact = KindOf(native); exact != Found::Nothing) return exact;
                const std::optional<std::string> real =
                    FindFolded(state, state.folder.Fold(native), hash);
                const Found kind = real ? KindOf(*real) : KindOfUnlisted(native);
                if (kind != Found::Nothing) return kind;
                stale = stale || real.has_value();  // a name found that is gone
            } else if (fresh || cache.settled) {
                if (const Found kind = KindOfUnlisted(native); kind != Found::Nothing) return kind;
            } else {
                stale = true;  // a filter too young to be trusted to be complete
            }
        }
        if (!stale) return Found::Nothing;
        cache.valid = false;
    }
    return exactly();
}

std::optional<std::string> NameInFolder(const std::string& folder, std::string_view nativeName) {
    if (nativeName.empty()) return std::nullopt;
    const std::string dir = folder.empty() ? std::string(".") : folder;
    const std::string exact = dir + "/" + std::string(nativeName);
    struct stat info;
    if (::lstat(exact.c_str(), &info) == 0) return std::string(nativeName);

    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    const FoldedName key = state.folder.Fold(nativeName);
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(listing)) {
        if (state.folder.Fold(entry->d_name) == key) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

void NoteCreatedInCurrentFolder(std::string_view ansiName) {
    NoteNativeCreatedInCurrentFolder(AnsiToNative(ansiName));
}

void NoteNativeCreatedInCurrentFolder(const std::string& native) {
    NoteNativeCreatedInCurrentFolder(std::span(&native, 1));
}

void NoteNativeCreatedInCurrentFolder(std::span<const std::string> names) {
    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    FolderCache& cache = state.cache;
    state.entered.reset();
    if (!cache.valid) return;
    struct stat info;
    if (::stat(".", &info) != 0) {
        cache.valid = false;
        return;
    }
    const FolderStamp stamp = StampOf(info);
    // The creations moved the folder's times forward and changed nothing else that the stamp
    // records; times that went back, or another folder, mean the listing is not this one's.
    if (!SameFolder(cache.stamp, stamp) || stamp.modified < cache.stamp.modified ||
        stamp.changed < cache.stamp.changed) {
        cache.valid = false;
        return;
    }
    for (const std::string& native : names)
        if (!native.empty() && native.find('/') == std::string::npos)
            cache.names.Add(state.folder.Hash(native));
    // The new times are taken as these creations' alone: another program's entry made in the
    // same moment goes unseen, as it would between the search and the creation anyway. The
    // exact lookup and the exclusive creation still catch an entry of the very same name.
    cache.stamp = stamp;
    cache.settled = true;
}

EnteredFolder EnterFolder(const std::string& path) {
    EnteredFolder result;
    if (path.empty()) return result;
    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    std::optional<EnteredPath>& last = state.last;
    struct stat info;
    const bool looked = ::stat(path.c_str(), &info) == 0;
    // Within a holding the folder entered is the one held for the path, and only while the
    // path still names it: what was put in its place meanwhile is never entered.
    std::optional<int> held;
    if (held::Active()) {
        // A path that names nothing now names no folder held for it either.
        if (!looked) info = {};
        held = held::Enter(path, info, result.problem);
        if (!held) {
            last.reset();
            state.entered.reset();
            return result;
        }
    }
    // Still the current folder (its name, which the system keeps without asking the file
    // system), and still what the path names (a volume mounted there anew is another device).
    if (looked && last && last->path == path && info.st_dev == last->device &&
        info.st_ino == last->inode && CurrentFolder() == last->current) {
        state.entered = info;
        return {true, static_cast<std::uint64_t>(info.st_dev), {}};
    }
    last.reset();
    state.entered.reset();
    if (held ? ::fchdir(*held) != 0 : !SetCurrentFolder(path)) {
        result.problem = "the target folder " + path + " cannot be entered";
        return result;
    }
    result.entered = true;
    if (::stat(".", &info) != 0) return result;
    result.volume = static_cast<std::uint64_t>(info.st_dev);
    if (std::string current = CurrentFolder(); !current.empty())
        last = EnteredPath{path, std::move(current), info.st_dev, info.st_ino};
    state.entered = info;
    return result;
}

void ForgetFolderLook() {
    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    state.entered.reset();
}

}  // namespace platform

}  // namespace veskar
