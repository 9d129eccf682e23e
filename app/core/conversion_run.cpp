// SPDX-License-Identifier: Apache-2.0
#include "app/core/conversion_run.h"

#include <filesystem>
#include <system_error>

#include "core/read/appledouble.h"
#include "core/write/target_folder.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// Every import makes the target folder the current one, so a relative folder would name
// another folder for each entry after the first: it is made absolute once, against the
// current folder as the run starts. A path with a root directory ("/out", "\out", "C:\out")
// names the same folder whatever the imports leave current on its drive, and stays as typed;
// an empty one names no folder.
std::string ResolvedTarget(const std::string& typed) {
    if (typed.empty()) return typed;
    const std::filesystem::path path = platform::PathOfNative(typed);
    if (path.has_root_directory()) return typed;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? typed : platform::NativeOfPath(absolute);
}

}  // namespace

void RunConversion(SourceList& list, EnabledControl& exitButton, std::string_view targetText,
                   const ImportOperation& import, bool skipCompanions) {
    exitButton.SetEnabled(false);
    {
        // Every entry's output goes into the one folder, held from the first on; when the run
        // ends, what it wrote is on the disk. The window tells nothing of what the holding met.
        const platform::Holding holding;
        // The target's volume may have changed since the last run (a drive unmounted while the
        // window stayed open): it is checked afresh.
        ForgetTargetFolders();
        const std::string target = ResolvedTarget(std::string(targetText.substr(0, kRunPathChars)));
        const std::size_t count = list.Count();
        for (std::size_t i = 0; i < count; ++i) {
            std::string source = list.FirstText();
            if (source.size() > kRunPathChars) source.resize(kRunPathChars);
            if (!(skipCompanions && IsAppleDoubleCompanion(source))) import(target, source);
            list.DeleteFirst();
        }
    }
    platform::TakeHoldingNotices();
    exitButton.SetEnabled(true);
}

}  // namespace veskar
