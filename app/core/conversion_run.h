// SPDX-License-Identifier: Apache-2.0
// The conversion run behind each page's Convert button, free of any window toolkit: the Qt
// and the Win32 windows hand it their list and Exit button through these small interfaces.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/common/import_result.h"

namespace veskar {

// A page's list of source paths, kept in ascending order by the list control.
class SourceList {
  public:
    virtual ~SourceList() = default;
    virtual std::size_t Count() const = 0;
    virtual std::string FirstText() const = 0;  // the text of entry 0
    virtual void DeleteFirst() = 0;
};

class EnabledControl {
  public:
    virtual ~EnabledControl() = default;
    virtual void SetEnabled(bool enabled) = 0;
};

using ImportOperation =
    std::function<ImportResult(std::string_view targetFolder, std::string_view sourcePath)>;

// Paths travel in buffers of 256 characters, the terminator included.
constexpr std::size_t kRunPathChars = 255;

// Disables Exit, then takes every entry present at the start, in list order, passes it with
// the target folder to `import` (skipping companions when `skipCompanions`), deletes it
// whatever the result, and enables Exit again. Results are not reported. A relative target
// folder is taken from the current folder as the run starts, so every entry goes to the one
// folder; an empty one converts nothing.
void RunConversion(SourceList& list, EnabledControl& exitButton, std::string_view targetText,
                   const ImportOperation& import, bool skipCompanions);

}  // namespace veskar
