// SPDX-License-Identifier: Apache-2.0
// A new empty folder of the test's own, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace veskar {

class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("veskar-scratch-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Joined as bytes: a path object would convert the name to another code page on Windows.
    std::string operator/(const std::string& name) const {
        return path_.string() + platform::kPathSeparator + name;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace veskar
