// SPDX-License-Identifier: Apache-2.0
// A trial run: the writer that writes nothing and reports what another writer would write.
#pragma once

#include "core/write/output_writer.h"

namespace veskar {

// Wraps any writer: Write asks that writer's Plan for the name and the Finder information,
// and reports the forks' sizes as a copy would deliver them and what the source lacks. Into
// a folder that the caller would make first (`intoEmptyFolder`), the names are those of an
// empty folder.
class DescribingWriter final : public OutputWriter {
  public:
    DescribingWriter(const OutputWriter& writer, bool intoEmptyFolder)
        : writer_(writer), intoEmptyFolder_(intoEmptyFolder) {}
    TargetNeeds Needs() const override { return writer_.Needs(); }
    ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                      bool intoEmptyFolder, ImportReport& report) const override {
        return writer_.Plan(file, sourcePath, intoEmptyFolder, report);
    }
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport& report) const override;
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                             ImportReport& report) const override;

  private:
    const OutputWriter& writer_;
    bool intoEmptyFolder_;
};

}  // namespace veskar
