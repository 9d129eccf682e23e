// SPDX-License-Identifier: Apache-2.0
// What a test sees of a run's work folder, where each output is written whole before it is
// moved into the target folder.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace veskar {

// Whether an output is being written into `folder`: a work folder there holds a file besides
// its mark.
inline bool OutputUnderWay(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.path().filename().string().starts_with(".veskar-")) continue;
        for (const auto& inside : std::filesystem::directory_iterator(entry.path(), error))
            if (inside.path().filename() != "veskar-work") return true;
    }
    return false;
}

}  // namespace veskar
