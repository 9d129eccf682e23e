// SPDX-License-Identifier: Apache-2.0
#include "core/write/fruit_writer.h"

#include <ctime>
#include <string>

#include "core/common/copy_fork.h"
#include "core/write/server_output.h"
#include "core/write/server_records.h"

namespace veskar {

ImportResult FruitWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                               bool intoEmptyFolder, ImportReport& report) const {
    return PlanServerOutput(file, sourcePath, Companion::Beside, intoEmptyFolder, report);
}

ImportResult FruitWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                ImportReport& report) const {
    ServerOutput out(file, sourcePath, Companion::Beside, report);
    // netatalk's attribute, set on the data file while it is open.
    return out.WritePair([](ServerOutput& output) {
        const NetatalkMetadata metadata = MakeNetatalkMetadata(output.Info(), std::time(nullptr));
        if (platform::SetUserAttribute(output.Data(), netatalk::kMetadataAttribute, metadata.data(),
                                       metadata.size()))
            return ImportResult::Converted;
        return output.Fail(ImportResult::WriteFailed,
                           SystemReason("cannot set the attribute user." +
                                        std::string(netatalk::kMetadataAttribute)));
    });
}

}  // namespace veskar
