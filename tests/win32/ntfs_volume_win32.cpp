// SPDX-License-Identifier: Apache-2.0
// On Windows the NTFS volume is one the test run provides: VESKAR_NTFS_<N>MIB names the root
// of a volume of N MiB (under Wine, a drive linked to an image mounted by ntfs-3g with the
// Windows stream interface). Each NtfsVolume is a fresh folder on it, removed afterwards.
//
// The streams are read back through the system, as a Windows program would; the independent
// read with ntfs-3g's tools happens after the run, once the image is unmounted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

// The streams the converter writes: the system offers no listing of streams that Wine keeps.
constexpr const char* kKnownStreams[] = {"AFP_AfpInfo", "AFP_Resource"};

std::optional<std::string> ReadWhole(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        out.append(buffer, got);
    std::fclose(file);
    return out;
}

}  // namespace

bool IsCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::unique_ptr<NtfsVolume> NtfsVolume::Make(std::size_t megabytes, std::string* why) {
    auto fail = [&](const std::string& reason) -> std::unique_ptr<NtfsVolume> {
        if (why) *why = reason;
        return nullptr;
    };
    const std::string variable = "VESKAR_NTFS_" + std::to_string(megabytes) + "MIB";
    const char* root = std::getenv(variable.c_str());
    if (root == nullptr || *root == '\0')
        return fail(variable + " does not name an NTFS volume (scripts/test-windows.sh sets it)");
    std::random_device random;
    std::unique_ptr<NtfsVolume> volume(new NtfsVolume);
    for (int attempt = 0; attempt < 100 && volume->mountPoint_.empty(); ++attempt) {
        std::string folder = root;
        if (folder.back() != '\\' && folder.back() != '/') folder.push_back('\\');
        folder += "veskar-" + std::to_string(random());
        if (::CreateDirectoryA(folder.c_str(), nullptr)) volume->mountPoint_ = folder;
    }
    if (volume->mountPoint_.empty()) return fail("no folder can be made on " + std::string(root));
    volume->mounted_ = true;
    return volume;
}

NtfsVolume::~NtfsVolume() {
    std::error_code ignored;
    if (!mountPoint_.empty()) std::filesystem::remove_all(mountPoint_, ignored);
}

// The volume stays attached for the whole run; it is not this program's to mount.
bool NtfsVolume::Mount(bool) {
    return true;
}

bool NtfsVolume::Unmount() {
    return true;
}

std::optional<NtfsVolume::Times> NtfsVolume::TimesOf(const std::string& path) {
    const HANDLE file = ::CreateFileA(Path(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    FILETIME created, modified;
    const bool got = ::GetFileTime(file, &created, nullptr, &modified);
    ::CloseHandle(file);
    if (!got) return std::nullopt;
    auto seconds = [](const FILETIME& time) {
        const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
        return static_cast<std::int64_t>(ticks / 10000000) - 11644473600;
    };
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return Times{wine ? std::nullopt : std::optional(seconds(created)), seconds(modified)};
}

std::optional<std::string> NtfsVolume::ReadStream(const std::string& path,
                                                  const std::string& stream) {
    return ReadWhole(Path(path) + (stream.empty() ? "" : ":" + stream));
}

std::vector<std::string> NtfsVolume::StreamNames(const std::string& path) {
    std::vector<std::string> names;
    for (const char* stream : kKnownStreams)
        if (ReadStream(path, stream)) names.push_back(stream);
    return names;
}

}  // namespace veskar
