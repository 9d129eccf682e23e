// SPDX-License-Identifier: Apache-2.0
// Finding a name in the current folder with FindFirstFileA, which matches names as the file
// system does: on NTFS letter case does not count.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/quiet_errors_win32.h"

namespace veskar {

namespace platform {

Found FindInCurrentFolder(std::string_view ansiName) {
    if (ansiName.empty()) return Found::Nothing;
    const std::string path = OutputPath(ansiName);
    WIN32_FIND_DATAA match;
    const win32::QuietErrors quiet;
    const HANDLE search = ::FindFirstFileA(path.c_str(), &match);
    if (search == INVALID_HANDLE_VALUE) return Found::Nothing;
    ::FindClose(search);
    return (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Found::Folder : Found::File;
}

// FindFirstFileA matches the name as the folder's file system does, whatever its case, and
// answers with the name as the folder spells it; a name with a wildcard is not a name that
// can be taken.
std::optional<std::string> NameInFolder(const std::string& folder, std::string_view nativeName) {
    if (nativeName.empty() || nativeName.find_first_of("*?") != std::string_view::npos)
        return std::nullopt;
    std::string path = folder.empty() ? std::string(".") : folder;
    if (!IsSeparator(path.back())) path.push_back('\\');
    path.append(nativeName);
    WIN32_FIND_DATAA match;
    const win32::QuietErrors quiet;
    const HANDLE search = ::FindFirstFileA(path.c_str(), &match);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    ::FindClose(search);
    return std::string(match.cFileName);
}

// Every search asks the file system itself, so there is nothing to remember.
void NoteCreatedInCurrentFolder(std::string_view) {}

// Native names are ANSI names here.
Found FindNativeInCurrentFolder(const std::string& native) {
    return FindInCurrentFolder(native);
}

Found FindAnyNativeInCurrentFolder(std::span<const std::string> names) {
    for (const std::string& native : names)
        if (const Found kind = FindInCurrentFolder(native); kind != Found::Nothing) return kind;
    return Found::Nothing;
}

void NoteNativeCreatedInCurrentFolder(const std::string&) {}
void NoteNativeCreatedInCurrentFolder(std::span<const std::string>) {}

}  // namespace platform

}  // namespace veskar
