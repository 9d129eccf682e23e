// SPDX-License-Identifier: Apache-2.0
#include "core/write/describing_writer.h"

#include "core/finder_info.h"

namespace veskar {

ImportResult DescribingWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                     ImportReport& report) const {
    const ImportResult planned = writer_.Plan(file, sourcePath, intoEmptyFolder_, report);
    if (planned != ImportResult::Converted) return planned;
    report.dataBytes = BytesAvailable(file.data);
    report.resourceBytes = BytesAvailable(file.resource);
    return WithShortfall(ImportResult::Converted, ShortfallOf(file), &report);
}

// A trial run makes no folder: it reports the folder's name and the Finder information the
// layout would write.
ImportResult DescribingWriter::WriteFolder(const MacFileDescription& folder,
                                           const std::string& nativeName,
                                           ImportReport& report) const {
    report.outputName = nativeName;
    report.nativeName = true;
    report.dataBytes = report.resourceBytes = 0;
    NoteFinderInfo(report, FinderInfoToWrite(folder));
    return ImportResult::Converted;
}

}  // namespace veskar
