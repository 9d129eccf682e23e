#include "containers/target_folder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace {

// The volumes found to take named streams. Checking one creates and removes a probe file,
// so a batch checks each volume once, not each of its folders; a volume mounted anew gets a
// new identity and is checked again. A batch meets few volumes, so the list stays short.
std::vector<std::uint64_t>& VolumesWithStreams() {
    static std::vector<std::uint64_t> volumes;
    return volumes;
}

}  // namespace

void ForgetTargetFolders() {
    VolumesWithStreams().clear();
}

TargetFolder EnterTargetFolder(std::string_view path) {
    TargetFolder folder;
    if (!platform::SetCurrentFolder(std::string(path))) {
        folder.detail = "the target folder " + std::string(path) + " cannot be entered";
        return folder;
    }
    const std::string here = platform::CurrentFolder();
    const std::optional<std::uint64_t> volume = platform::VolumeId(here);
    std::vector<std::uint64_t>& known = VolumesWithStreams();
    if (volume && std::find(known.begin(), known.end(), *volume) != known.end()) {
        folder.usable = true;
        return folder;
    }
    const platform::VolumeInfo info = platform::QueryVolume(here);
    folder.usable = info.namedStreams;
    if (!folder.usable)
        folder.detail = "the target folder cannot hold named streams: " + info.advice;
    else if (volume)
        known.push_back(*volume);
    return folder;
}
