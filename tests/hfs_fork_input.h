// SPDX-License-Identifier: Apache-2.0
// A fork to add to an HFS volume from bytes in memory, for the tests of the HFS library; one
// that fails at a given offset stands for a source that goes away while it is read.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/hfs/hfs_volume.h"

namespace veskar {

class BytesFork : public hfs::ForkInput {
  public:
    explicit BytesFork(std::vector<std::uint8_t> bytes, std::size_t failAt = SIZE_MAX)
        : bytes_(std::move(bytes)), failAt_(failAt) {}
    std::uint32_t Length() const override { return static_cast<std::uint32_t>(bytes_.size()); }
    bool Read(std::span<std::uint8_t> into, std::string& why) override {
        if (at_ + into.size() > failAt_) {
            why = "the source went away";
            return false;
        }
        std::memcpy(into.data(), bytes_.data() + at_, into.size());
        at_ += into.size();
        return true;
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t failAt_;
    std::size_t at_ = 0;
};

}  // namespace veskar
