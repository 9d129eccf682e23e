// SPDX-License-Identifier: Apache-2.0
#include "core/write/netatalk2_writer.h"

#include "core/write/folder_output.h"
#include "core/write/server_output.h"

namespace veskar {

namespace {

Companion CompanionFor(const MacFileDescription& file) {
    // A plain file stays one: netatalk makes its header when it first serves the file.
    return CarriesMacInformation(file) ? Companion::InAppleDoubleFolder : Companion::None;
}

}  // namespace

ImportResult Netatalk2Writer::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                   bool intoEmptyFolder, ImportReport& report) const {
    return PlanServerOutput(file, sourcePath, CompanionFor(file), intoEmptyFolder, report,
                            StoredNames::Netatalk2);
}

ImportResult Netatalk2Writer::Write(const MacFileDescription& file, std::string_view sourcePath,
                                    ImportReport& report) const {
    return ServerOutput(file, sourcePath, CompanionFor(file), report, StoredNames::Netatalk2)
        .WritePair();
}

ImportResult Netatalk2Writer::WriteFolder(const MacFileDescription& folder,
                                          const std::string& nativeName,
                                          ImportReport& report) const {
    return WriteServerFolder(folder, nativeName, ServerFolder::Netatalk2, report);
}

}  // namespace veskar
