// SPDX-License-Identifier: Apache-2.0
#include "app/core/folder_chooser.h"

#include "app/core/window_texts.h"
#include "platform/platform.h"

namespace veskar {

std::string BrowseStartFolder(std::string_view remembered) {
    for (std::size_t i = remembered.size(); i > 0; --i) {
        if (platform::IsSeparator(remembered[i - 1]))
            return std::string(remembered.substr(0, i == 1 ? 1 : i - 1));
    }
    return std::string(remembered);
}

std::optional<std::string> TakeChosenFolder(SettingsStore& store, std::string_view chosenPath) {
    if (chosenPath.empty()) return std::nullopt;
    std::string folder = platform::WithTrailingSeparator(std::string(chosenPath));
    if (folder.size() > kRunPathChars) return std::nullopt;
    store.StoreLastFolder(folder);
    return folder;
}

void BrowseClick(const BrowseForFolderCall& browseForFolder, FolderBox& box,
                 EnabledControl& exitButton, const std::function<void()>& beep) {
    const std::optional<std::string> chosen = browseForFolder(texts::kBrowsePrompt);
    if (chosen && platform::IsNtfsVolume(*chosen) != 0) {
        box.SetText(*chosen);
    } else {
        // No message and no status text: the empty box and the beep are the whole answer.
        box.SetText({});
        beep();
    }
    exitButton.SetEnabled(true);
}

}  // namespace veskar
