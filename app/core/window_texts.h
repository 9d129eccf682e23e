// SPDX-License-Identifier: Apache-2.0
// Every text the window shows, in one place for the Qt and the Win32 windows alike. The
// texts are UTF-8 here; the Win32 window turns them into 8-bit Windows text (code page 1252)
// at its boundary.
#pragma once

#include <string_view>

namespace veskar {

namespace texts {

constexpr std::string_view kApplicationTitle = "VESKAR";  // the task bar's name
constexpr std::string_view kFormCaption = "NTFS/SFM Converter";
constexpr std::string_view kExitCaption = "Exit";
constexpr std::string_view kFilesBoxCaption = " Files to convert: ";
constexpr std::string_view kTargetBoxCaption = " Target Folder: ";
constexpr std::string_view kBrowseCaption = "Browse";
constexpr std::string_view kConvertCaption = "Convert";

// The duplicate-entry message box: its title, and its text with "%s" for the refused path.
constexpr std::string_view kMessageTitle = "VESKAR";
constexpr std::string_view kDuplicateEntry = "Le dossier %s existe déjà dans la liste.";

// Shown above the folder tree of a Browse button's dialog.
constexpr std::string_view kBrowsePrompt = "Sélection du répertoire devant contenir les fichiers";

}  // namespace texts

}  // namespace veskar
