// A file that an import created and owns until it is done with it.
#pragma once

#include <string>
#include <utility>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

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
        platform::RemoveTrackedFile(slot_, path_);
        path_.clear();
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int slot_ = -1;
};
