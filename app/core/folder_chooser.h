// SPDX-License-Identifier: Apache-2.0
// What a page's Browse button does, free of any toolkit: the folder dialog opens at the
// remembered folder, the chosen folder is remembered, and the page's target folder box
// receives it only when its volume takes NTFS named streams.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/conversion_run.h"
#include "app/core/settings_store.h"

namespace veskar {

// The folder the dialog opens at, selected and shown: the remembered folder cut at its last
// separator (C:\Data\Out\ gives C:\Data\Out, C:\ gives C:). A root that the cut would leave
// empty keeps its separator, so Linux's / opens at / rather than at the current folder. A
// text without a separator is taken whole.
std::string BrowseStartFolder(std::string_view remembered);

// What the dialog's file-system path becomes once chosen: the path with its trailing
// separator, remembered with StoreLastFolder before the volume is judged; nullopt when
// nothing was chosen (an empty path) or when the path with its separator would not fit the
// 255 characters the target folder is cut to by the conversion run, which would then write
// into another folder than the one chosen. Such a path is not remembered either.
std::optional<std::string> TakeChosenFolder(SettingsStore& store, std::string_view chosenPath);

// A page's target folder edit box; setting its text raises its change event.
class FolderBox {
  public:
    virtual ~FolderBox() = default;
    virtual void SetText(const std::string& text) = 0;
};

// Shows the folder dialog with the prompt above the tree; the chosen folder as
// TakeChosenFolder gives it, or nullopt when cancelled or when the dialog cannot be shown.
using BrowseForFolderCall = std::function<std::optional<std::string>(std::string_view prompt)>;

// A click on a Browse button: the chosen folder goes into the box when IsNtfsVolume accepts
// it; a cancelled or failed dialog and a refused folder empty the box and beep. Exit ends
// enabled in every case.
void BrowseClick(const BrowseForFolderCall& browseForFolder, FolderBox& box,
                 EnabledControl& exitButton, const std::function<void()>& beep);

}  // namespace veskar
