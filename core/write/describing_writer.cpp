// SPDX-License-Identifier: Apache-2.0
#include "core/write/describing_writer.h"

namespace veskar {

ImportResult DescribingWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                     ImportReport& report) const {
    const ImportResult planned = writer_.Plan(file, sourcePath, intoEmptyFolder_, report);
    if (planned != ImportResult::Converted) return planned;
    report.dataBytes = BytesAvailable(file.data);
    report.resourceBytes = BytesAvailable(file.resource);
    return WithShortfall(ImportResult::Converted, ShortfallOf(file), &report);
}

}  // namespace veskar
