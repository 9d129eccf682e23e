// SPDX-License-Identifier: Apache-2.0
// The Browse buttons' folder dialog: the shell's own, SHBrowseForFolderA, over the whole
// desktop, opening at the folder the window's settings remember.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace veskar {

// BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE.
constexpr UINT kBrowseFlags = 0x75;

// Shows the dialog modal to `owner`, titled with `prompt` (UTF-8, shown in 8-bit Windows
// text). The chosen folder as TakeChosenFolder gives it, already remembered in the window's
// settings; nullopt when the user cancelled, when the chosen item has no file-system path,
// or when the dialog cannot be shown.
std::optional<std::string> BrowseForFolder(HWND owner, std::string_view prompt);

// The shell calls this while the dialog is shown. On BFFM_INITIALIZED it selects and expands
// the remembered folder; on BFFM_VALIDATEFAILEDA (a name typed in the dialog's edit field
// that is no folder) it keeps the dialog open; every other event is left alone.
int CALLBACK BrowseCallback(HWND dialog, UINT event, LPARAM argument, LPARAM data);

}  // namespace veskar
