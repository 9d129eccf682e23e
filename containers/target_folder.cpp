#include "containers/target_folder.h"

#include <map>

#include "platform/platform.h"

TargetFolder EnterTargetFolder(std::string_view path) {
    TargetFolder folder;
    if (!platform::SetCurrentFolder(std::string(path))) {
        folder.detail = "the target folder " + std::string(path) + " cannot be entered";
        return folder;
    }
    // Probing a volume creates and removes a file, so each folder is probed once.
    static std::map<std::string, TargetFolder> known;
    const std::string here = platform::CurrentFolder();
    auto it = known.find(here);
    if (it != known.end()) return it->second;

    const platform::VolumeInfo volume = platform::QueryVolume(here);
    folder.usable = volume.namedStreams;
    if (!folder.usable)
        folder.detail = "the target folder cannot hold named streams: " + volume.advice;
    known.emplace(here, folder);
    return folder;
}
