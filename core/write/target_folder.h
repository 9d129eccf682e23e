// SPDX-License-Identifier: Apache-2.0
// Entering the target folder of an import, and knowing before anything is written whether
// its volume takes NTFS named streams (elsewhere "name:AFP_Resource" would become a file of
// its own with a colon in its name).
#pragma once

#include <string>
#include <string_view>

#include "core/write/output_writer.h"

namespace veskar {

struct TargetFolder {
    bool usable = false;  // entered, and its volume takes what the layout needs
    std::string detail;   // why not
};

// Makes `path` the process's current folder; every output is then addressed by bare name.
// The volume under the folder is checked for named streams whenever it is not one already
// found to take them: a folder whose volume was unmounted (the path now on the file system
// beneath) is checked again, and a refused folder is checked again on the next import.
// `needs` says what the volume must take for the layout written.
TargetFolder EnterTargetFolder(std::string_view path,
                               TargetNeeds needs = TargetNeeds::NamedStreams);

// Forgets every volume found to take named streams, so the next import checks afresh. The
// window calls it at the start of each conversion run.
void ForgetTargetFolders();

}  // namespace veskar
