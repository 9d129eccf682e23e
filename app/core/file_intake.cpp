// SPDX-License-Identifier: Apache-2.0
#include "app/core/file_intake.h"

#include "app/core/conversion_run.h"
#include "app/core/window_texts.h"
#include "platform/platform.h"

namespace veskar {

std::string CutDroppedPath(std::string_view path) {
    if (path.size() <= kRunPathChars) return std::string(path);
    std::size_t end = kRunPathChars;
    // In UTF-8, 10xxxxxx bytes continue a character and cutting before one would leave half
    // of it; in 8-bit Windows text the same bytes are characters of their own.
    while (platform::kNativeTextIsUtf8 && end > 0 &&
           (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80)
        --end;
    return std::string(path.substr(0, end));
}

bool IsListed(const IntakeList& list, std::string_view candidate) {
    for (std::size_t i = 0; i < list.Count(); ++i) {
        if (list.TextAt(i) == candidate) return true;
    }
    return false;
}

std::string DuplicateEntryMessage(std::string_view path) {
    constexpr std::string_view text = texts::kDuplicateEntry;
    constexpr std::size_t at = text.find("%s");
    static_assert(at != std::string_view::npos);
    std::string message(text.substr(0, at));
    message.append(path).append(text.substr(at + 2));
    return message;
}

void TakeDroppedPaths(IntakeList& list, const std::vector<std::string>& paths,
                      const RefusalNotice& refuse) {
    for (const std::string& dropped : paths) {
        const std::string path = CutDroppedPath(dropped);
        if (IsListed(list, path))
            refuse(path);
        else
            list.Add(path);
    }
}

}  // namespace veskar
