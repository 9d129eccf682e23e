// SPDX-License-Identifier: Apache-2.0
#include "core/write/appledouble_writer.h"

#include "core/write/folder_output.h"

#include "core/write/server_output.h"

namespace veskar {

ImportResult AppleDoubleWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                     bool intoEmptyFolder, ImportReport& report) const {
    return PlanServerOutput(
        file, sourcePath,
        CarriesMacInformation(file) ? Companion::BesideWithAttributes : Companion::None,
        intoEmptyFolder, report);
}

ImportResult AppleDoubleWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                      ImportReport& report) const {
    // A plain file stays one, without a "._" file.
    return ServerOutput(
               file, sourcePath,
               CarriesMacInformation(file) ? Companion::BesideWithAttributes : Companion::None,
               report)
        .WritePair();
}

ImportResult AppleDoubleWriter::WriteFolder(const MacFileDescription& folder,
                                            const std::string& nativeName,
                                            ImportReport& report) const {
    return WriteServerFolder(folder, nativeName, ServerFolder::AppleDouble, report);
}

}  // namespace veskar
