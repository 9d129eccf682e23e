// SPDX-License-Identifier: Apache-2.0
#include "app/win32/browse_for_folder_win32.h"

#include <shlobj.h>

#include "app/core/folder_chooser.h"
#include "app/win32/ansi_text_win32.h"
#include "app/win32/registry_settings_win32.h"

namespace veskar {

namespace {

// The shell allocator, which frees the item lists the shell hands out; released at the end.
class ShellAllocator {
  public:
    ShellAllocator() {
        if (FAILED(::SHGetMalloc(&malloc_))) malloc_ = nullptr;
    }
    ~ShellAllocator() {
        if (malloc_ != nullptr) malloc_->Release();
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;

    explicit operator bool() const { return malloc_ != nullptr; }
    void Free(void* memory) {
        if (memory != nullptr) malloc_->Free(memory);
    }

  private:
    IMalloc* malloc_ = nullptr;
};

// BFFM_SETEXPANDED has no ANSI form: it takes the path as UTF-16.
std::wstring Wide(const std::string& ansi) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

}  // namespace

int CALLBACK BrowseCallback(HWND dialog, UINT event, LPARAM, LPARAM) {
    switch (event) {
        case BFFM_INITIALIZED: {
            // Read now rather than before the dialog: this is where the dialog opens.
            const std::string start = BrowseStartFolder(WindowSettings().ReadLastFolder());
            const std::wstring wide = Wide(start);
            ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                           reinterpret_cast<LPARAM>(start.c_str()));
            ::SendMessageA(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
            return 0;
        }
        case BFFM_VALIDATEFAILEDA:
            return 1;
        default:
            // No status text, and OK is never disabled.
            return 0;
    }
}

std::optional<std::string> BrowseForFolder(HWND owner, std::string_view prompt) {
    ShellAllocator allocator;
    if (!allocator) return std::nullopt;
    LPITEMIDLIST desktop = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &desktop))) return std::nullopt;
    const std::string title = AnsiText(prompt);
    char path[MAX_PATH] = "";
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = desktop;
    // The dialog writes the chosen item's display name here; it is not used.
    info.pszDisplayName = path;
    info.lpszTitle = title.c_str();
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallback;
    info.lParam = 0;
    LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info);
    std::optional<std::string> folder;
    if (chosen != nullptr && ::SHGetPathFromIDListA(chosen, path))
        folder = TakeChosenFolder(WindowSettings(), path);
    allocator.Free(chosen);
    allocator.Free(desktop);
    return folder;
}

}  // namespace veskar
