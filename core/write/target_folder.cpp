// SPDX-License-Identifier: Apache-2.0
#include "core/write/target_folder.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace veskar {

namespace {

// The volumes found to take what a layout needs. Checking one creates and removes a probe
// file, so a batch checks each volume once, not each of its folders; a volume mounted anew
// gets a new identity and is checked again. A batch meets few volumes, so the list stays short.
std::vector<std::pair<std::uint64_t, TargetNeeds>>& VolumesFound() {
    static std::vector<std::pair<std::uint64_t, TargetNeeds>> volumes;
    return volumes;
}

// Whether the current folder takes `needs`; `detail` says why not.
bool Takes(const std::string& here, TargetNeeds needs, std::string& detail) {
    switch (needs) {
        case TargetNeeds::NamedStreams: {
            const platform::VolumeInfo info = platform::QueryVolume(here);
            if (!info.namedStreams)
                detail = "the target folder cannot hold named streams: " + info.advice;
            return info.namedStreams;
        }
        case TargetNeeds::UserAttributes: {
            const platform::AttributeSupport support = platform::QueryUserAttributes(here);
            if (!support.takes)
                detail = "the target folder cannot hold extended attributes: " + support.reason;
            return support.takes;
        }
        case TargetNeeds::Nothing:
            break;
    }
    return true;
}

}  // namespace

void ForgetTargetFolders() {
    VolumesFound().clear();
}

TargetFolder EnterTargetFolder(std::string_view path, TargetNeeds needs) {
    TargetFolder folder;
    const platform::EnteredFolder entered = platform::EnterFolder(std::string(path));
    if (!entered.entered) {
        folder.detail = !entered.problem.empty()
                            ? entered.problem
                            : "the target folder " + std::string(path) + " cannot be entered";
        return folder;
    }
    if (needs == TargetNeeds::Nothing) {
        folder.usable = true;
        return folder;
    }
    const std::optional<std::uint64_t>& volume = entered.volume;
    auto& known = VolumesFound();
    if (volume && std::find(known.begin(), known.end(), std::pair{*volume, needs}) != known.end()) {
        folder.usable = true;
        return folder;
    }
    folder.usable = Takes(platform::CurrentFolder(), needs, folder.detail);
    platform::ForgetFolderLook();  // the check made and removed a probe file there
    if (folder.usable && volume) known.emplace_back(*volume, needs);
    return folder;
}

}  // namespace veskar
