// Finding a name in the current folder regardless of letter case, as NTFS matches names.
//
// Linux file systems, ntfs-3g included, compare names byte for byte, so a case-insensitive
// match means comparing against every entry of the folder. The folded entries of the current
// folder are kept between calls and read again only when the folder has changed, which its
// identity and its modification and change times (to the nanosecond) tell.
#include <dirent.h>
#include <sys/stat.h>

#include <ctime>
#include <locale>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "platform/posix/utf8_posix.h"

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
        for (std::size_t at = 0; at < native.size();) {
            const std::size_t start = at;
            const char32_t c = posix::DecodeUtf8(native, at);
            if (c == posix::kNotUtf8) {
                // A byte that is not UTF-8 (a name written by another program) stands for
                // itself as a lone surrogate, which no well-formed name can produce.
                folded.push_back(0xDC00 + static_cast<unsigned char>(native[start]));
            } else if (c < 0x80) {
                folded.push_back(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            } else if (ctype_ != nullptr) {
                folded.push_back(static_cast<char32_t>(ctype_->toupper(static_cast<wchar_t>(c))));
            } else {
                folded.push_back(c);
            }
        }
        return folded;
    }

  private:
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

// The folded entries of the last folder read, each with one real name bearing it.
struct FolderCache {
    bool valid = false;
    bool settled = false;
    FolderStamp stamp;
    std::unordered_map<FoldedName, std::string> names;
};

struct LookupState {
    std::mutex mutex;
    CaseFolder folder;
    FolderCache cache;
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
    cache.names.clear();
    DIR* dir = ::opendir(".");
    if (dir == nullptr) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        cache.names.try_emplace(state.folder.Fold(name), name);
    }
    ::closedir(dir);
    cache.valid = true;
    cache.stamp = stamp;
    cache.settled = Settled(stamp);
    return true;
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

}  // namespace

Found FindInCurrentFolder(std::string_view ansiName) {
    if (ansiName.empty()) return Found::Nothing;
    const std::string native = AnsiToNative(ansiName);
    // An exact match decides at once and needs no listing.
    if (const Found exact = KindOf(native); exact != Found::Nothing) return exact;
    if (native.find('/') != std::string::npos) return Found::Nothing;

    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    FolderCache& cache = state.cache;
    const FoldedName key = state.folder.Fold(native);
    // The second pass reads the folder afresh, when the first found the listing stale.
    for (int pass = 0; pass < 2; ++pass) {
        struct stat info;
        if (::stat(".", &info) != 0) {
            cache.valid = false;
            return Found::Nothing;
        }
        const FolderStamp stamp = StampOf(info);
        bool fresh = false;
        if (!cache.valid || !SameState(cache.stamp, stamp)) {
            if (!ReadFolder(state, stamp)) return Found::Nothing;
            fresh = true;
        }
        const auto entry = cache.names.find(key);
        if (entry != cache.names.end()) {
            if (const Found kind = KindOf(entry->second); kind != Found::Nothing) return kind;
        } else if (fresh || cache.settled) {
            return Found::Nothing;
        }
        // A listed name that is gone, or a listing too young to be trusted to be complete.
        cache.valid = false;
    }
    return Found::Nothing;
}

bool NameTakenInFolder(const std::string& folder, std::string_view nativeName) {
    if (nativeName.empty()) return false;
    const std::string dir = folder.empty() ? std::string(".") : folder;
    const std::string exact = dir + "/" + std::string(nativeName);
    struct stat info;
    if (::lstat(exact.c_str(), &info) == 0) return true;

    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    const FoldedName key = state.folder.Fold(nativeName);
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return false;
    bool taken = false;
    while (const dirent* entry = ::readdir(listing)) {
        if (state.folder.Fold(entry->d_name) == key) {
            taken = true;
            break;
        }
    }
    ::closedir(listing);
    return taken;
}

void NoteCreatedInCurrentFolder(std::string_view ansiName) {
    if (ansiName.empty()) return;
    const std::string native = AnsiToNative(ansiName);
    if (native.find('/') != std::string::npos) return;

    LookupState& state = State();
    const std::lock_guard lock(state.mutex);
    FolderCache& cache = state.cache;
    if (!cache.valid) return;
    struct stat info;
    struct stat created;
    if (::stat(".", &info) != 0) {
        cache.valid = false;
        return;
    }
    const FolderStamp stamp = StampOf(info);
    // The creation moved the folder's times forward and changed nothing else that the stamp
    // records; times that went back, or another folder, mean the listing is not this one's.
    if (!SameFolder(cache.stamp, stamp) || stamp.modified < cache.stamp.modified ||
        stamp.changed < cache.stamp.changed) {
        cache.valid = false;
        return;
    }
    if (::lstat(native.c_str(), &created) != 0) return;
    cache.names.try_emplace(state.folder.Fold(native), native);
    // The new times are taken as this creation's alone: another program's entry made in the
    // same moment goes unseen, as it would between the search and the creation anyway. The
    // exact lookup and the exclusive creation still catch an entry of the very same name.
    cache.stamp = stamp;
    cache.settled = true;
}

}  // namespace platform
