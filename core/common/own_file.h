// SPDX-License-Identifier: Apache-2.0
// A file that an import created and owns until it is done with it.
#pragma once

#include <string>
#include <utility>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

// A file this call created, removed when the scope ends and, until then, on an interrupt.
class OwnFile {
  public:
    OwnFile() = default;
    ~OwnFile() { Remove(); }
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    void Adopt(std::string path) {
        path_ = std::move(path);
        slot_ = platform::TrackTemporaryFile(path_);
    }
    void Remove() {
        if (path_.empty()) return;
        // Without a slot (every one taken) the file was never registered, but is still ours.
        if (!(slot_ >= 0 && platform::RemoveTrackedFile(slot_, path_))) platform::RemoveFile(path_);
        path_.clear();
    }
    // The file is done and stays: it is no longer removed, on an interrupt or otherwise.
    void Keep() {
        if (slot_ >= 0) platform::UntrackTemporaryFile(slot_);
        path_.clear();
        slot_ = -1;
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int slot_ = -1;
};

}  // namespace veskar
