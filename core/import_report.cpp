// SPDX-License-Identifier: Apache-2.0
#include "core/import_report.h"

#include <algorithm>

#include "core/finder_info.h"

namespace veskar {

void NoteFinderInfo(ImportReport& report, const FinderInformation& info) {
    std::copy_n(info.begin(), report.typeCreator.size(), report.typeCreator.begin());
    report.finderFlags = FinderFlags(info);
}

void NoteDescription(ImportReport& report, const MacFileDescription& file) {
    report.dates = file.dates;
    report.commentBytes = file.comment.size();
    report.attributeNames.clear();
    report.attributeBytes = 0;
    for (const ExtendedAttribute& attribute : file.extendedAttributes) {
        report.attributeNames.push_back(attribute.name);
        report.attributeBytes += attribute.value.size();
    }
    report.folder = file.folder;
}

ImportResult WithShortfall(ImportResult result, const std::string& shortfall,
                           ImportReport* report) {
    if (shortfall.empty() ||
        (result != ImportResult::Converted && result != ImportResult::Truncated))
        return result;
    if (report) {
        if (!report->detail.empty()) report->detail += "; ";
        report->detail += shortfall;
    }
    return ImportResult::Truncated;
}

}  // namespace veskar
