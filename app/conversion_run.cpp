#include "app/conversion_run.h"

#include "containers/target_folder.h"
#include "platform/platform.h"

bool IsAppleDoubleCompanion(std::string_view path) {
    return path.substr(platform::FileNameStart(path)).starts_with("._");
}

void RunConversion(SourceList& list, EnabledControl& exitButton, std::string_view targetText,
                   ImportOperation import, bool skipCompanions) {
    exitButton.SetEnabled(false);
    // The target's volume may have changed since the last run (a drive unmounted while the
    // window stayed open): it is checked afresh.
    ForgetTargetFolders();
    const std::string target(targetText.substr(0, kRunPathChars));
    const std::size_t count = list.Count();
    for (std::size_t i = 0; i < count; ++i) {
        std::string source = list.FirstText();
        if (source.size() > kRunPathChars) source.resize(kRunPathChars);
        if (!(skipCompanions && IsAppleDoubleCompanion(source))) import(target, source);
        list.DeleteFirst();
    }
    exitButton.SetEnabled(true);
}
