// SPDX-License-Identifier: Apache-2.0
// C runtime streams with 64-bit positions.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <limits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text_win32.h"

namespace veskar {

namespace platform {

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::_isatty(::_fileno(stream)) != 0;
}

std::FILE* OpenSource(const std::string& nativePath, std::uint64_t& size,
                      std::optional<std::int64_t>* modified) {
    // The modification time is left to TimesOf, which asks the system for both times at once.
    if (modified) modified->reset();
    std::FILE* stream = OpenStream(nativePath, "rb");
    if (stream) size = StreamSize(stream).value_or(0);
    return stream;
}

// The C runtime's fopen knows no "x" (create, failing when the file exists): such a stream
// is opened exclusively at the descriptor level and then given its stream.
std::FILE* OpenStream(const std::string& nativePath, const char* mode) {
    std::string plain(mode);
    const std::size_t exclusive = plain.find('x');
    if (exclusive == std::string::npos) {
        std::FILE* stream = std::fopen(nativePath.c_str(), mode);
        // A source read from must be a regular file: not a device such as CON, whose reads
        // would wait on the console.
        struct _stat64 info;
        if (stream && plain[0] == 'r' && plain.find('+') == std::string::npos &&
            (::_fstat64(::_fileno(stream), &info) != 0 || (info.st_mode & _S_IFREG) == 0)) {
            std::fclose(stream);
            errno = ESPIPE;
            return nullptr;
        }
        return stream;
    }
    plain.erase(exclusive, 1);
    if (plain.empty() || plain[0] != 'w') {
        errno = EINVAL;
        return nullptr;
    }
    const bool update = plain.find('+') != std::string::npos;
    const bool text = plain.find('b') == std::string::npos;
    const int fd =
        ::_open(nativePath.c_str(),
                _O_CREAT | _O_EXCL | (update ? _O_RDWR : _O_WRONLY) | (text ? _O_TEXT : _O_BINARY),
                _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* stream = ::_fdopen(fd, plain.c_str());
    if (stream == nullptr) {
        const int saved = errno;
        ::_close(fd);
        ::DeleteFileA(nativePath.c_str());
        errno = saved;
    }
    return stream;
}

std::vector<std::string> NamedStreamsOf(const std::string& nativePath) {
    std::vector<std::string> names;
    WIN32_FIND_STREAM_DATA found;
    const std::wstring path = PathOfNative(nativePath).native();
    const HANDLE search = ::FindFirstStreamW(path.c_str(), FindStreamInfoStandard, &found, 0);
    if (search == INVALID_HANDLE_VALUE) {
        // Where the system lists none (Wine), the streams the layouts write are looked for.
        for (const char* stream : {"AFP_AfpInfo", "AFP_Resource"})
            if (std::FILE* open = OpenNamedStream(nativePath, stream)) {
                std::fclose(open);
                names.emplace_back(stream);
            }
        return names;
    }
    do {
        // ":NAME:$DATA"; the unnamed stream is "::$DATA".
        std::wstring name = found.cStreamName;
        if (name.size() < 7 || name.compare(name.size() - 6, 6, L":$DATA") != 0) continue;
        name = name.substr(1, name.size() - 7);
        if (name.empty()) continue;
        const int size = ::WideCharToMultiByte(
            CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(),
                              size, nullptr, nullptr);
        names.push_back(std::move(utf8));
    } while (::FindNextStreamW(search, &found));
    ::FindClose(search);
    return names;
}

std::FILE* OpenNamedStream(const std::string& nativePath, std::string_view utf8Stream,
                           std::uint64_t* size) {
    const std::wstring path =
        PathOfNative(nativePath).native() + L":" + win32::WideOfUtf8(utf8Stream);
    std::FILE* stream = ::_wfopen(path.c_str(), L"rb");
    if (stream && size) *size = StreamSize(stream).value_or(0);
    return stream;
}

std::FILE* CreateNamedStream(const std::string& nativeName, std::string_view utf8Stream) {
    const std::wstring path =
        PathOfNative(".\\" + nativeName).native() + L":" + win32::WideOfUtf8(utf8Stream);
    return ::_wfopen(path.c_str(), L"wb");
}

std::optional<std::uint64_t> Tell(std::FILE* stream) {
    if (stream == nullptr) return std::nullopt;
    const __int64 at = ::_ftelli64(stream);
    if (at < 0) return std::nullopt;
    return static_cast<std::uint64_t>(at);
}

bool Seek(std::FILE* stream, std::uint64_t offset) {
    if (stream == nullptr ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max()))
        return false;
    return ::_fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

// The size the file has on disk: what the stream still buffers is not counted. Only a file
// on a disk has one; a pipe or a console does not.
std::optional<std::uint64_t> StreamSize(std::FILE* stream) {
    if (stream == nullptr) return std::nullopt;
    const intptr_t os = ::_get_osfhandle(::_fileno(stream));
    if (os == -1) return std::nullopt;
    const auto handle = reinterpret_cast<HANDLE>(os);
    LARGE_INTEGER size;
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace platform

}  // namespace veskar
