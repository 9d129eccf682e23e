// SPDX-License-Identifier: Apache-2.0
#include "core/write/fruit_writer.h"

#include "core/write/folder_output.h"

#include <string>

#include "core/write/server_output.h"

namespace veskar {

ImportResult FruitWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                               bool intoEmptyFolder, ImportReport& report) const {
    return PlanServerOutput(file, sourcePath,
                            CarriesMacInformation(file) ? Companion::Beside : Companion::None,
                            intoEmptyFolder, report);
}

ImportResult FruitWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                ImportReport& report) const {
    // A plain file stays one: no "._" file, no netatalk metadata.
    const bool mac = CarriesMacInformation(file);
    ServerOutput out(file, sourcePath, mac ? Companion::Beside : Companion::None, report);
    // netatalk's and Samba's attributes, set on the data file while it is open.
    return out.WritePair([mac](ServerOutput& output) { return output.SetServerAttributes(mac); });
}

ImportResult FruitWriter::WriteFolder(const MacFileDescription& folder,
                                      const std::string& nativeName, ImportReport& report) const {
    return WriteServerFolder(folder, nativeName, ServerFolder::Fruit, report);
}

}  // namespace veskar
