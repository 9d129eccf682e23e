// SPDX-License-Identifier: Apache-2.0
#include "core/write/wrapping.h"

#include <array>

#include "core/common/charsets.h"
#include "core/common/copy_fork.h"
#include "core/finder_info.h"

namespace veskar {

std::string WrappedMacName(const MacFileDescription& file, std::string_view sourcePath,
                           std::size_t maxBytes, std::vector<std::string>& warnings) {
    std::string utf8 = NameAsUtf8(file);
    if (utf8.empty()) utf8 = std::string(sourcePath.substr(platform::FileNameStart(sourcePath)));
    std::vector<std::string> replaced;
    std::string name = charsets::Utf8ToMacRoman(utf8, &replaced);
    if (!replaced.empty()) {
        std::string which;
        for (const std::string& each : replaced)
            which += (which.empty() ? "" : " ") + each;
        warnings.push_back("the name's characters " + which +
                           " have no Mac Roman form: each was written as ?");
    }
    if (name.size() > maxBytes) name.resize(maxBytes);
    return name;
}

void NoteNotWrapped(const MacFileDescription& file, std::string_view format, bool comment,
                    std::vector<std::string>& warnings) {
    if (comment && !file.comment.empty())
        warnings.push_back("the comment was left out: " + std::string(format) + " keeps none");
    for (const ExtendedAttribute& attribute : file.extendedAttributes)
        warnings.push_back("the extended attribute " + attribute.name + " was left out: " +
                           std::string(format) + " keeps no extended attributes");
}

bool PadTo128(platform::RawFile file, std::uint64_t at) {
    static constexpr std::array<std::uint8_t, 128> kZeros{};
    const std::size_t pad = static_cast<std::size_t>((128 - at % 128) % 128);
    return pad == 0 || platform::RawWriteAllAt(file, at, kZeros.data(), pad);
}

ImportResult WrappedFolder(const MacFileDescription& folder, const std::string& nativeName,
                           std::string_view format, ImportReport& report) {
    report.outputName = nativeName;
    report.nativeName = true;
    report.dataBytes = report.resourceBytes = 0;
    NoteFinderInfo(report, FinderInfoForAnotherMachine(folder.finderInfo));
    if (CarriesMacInformation(folder))
        report.warnings.push_back("the folder's own information was left out: " +
                                  std::string(format) + " keeps a file's only");
    platform::SetFolderTimesAtEnd(nativeName, folder.dates.modified, std::nullopt);
    report.detail.clear();
    return ImportResult::Converted;
}

ImportResult CopyWrappedFork(const ForkPlace& fork, platform::RawFile file, std::uint64_t at,
                             std::uint64_t length, std::string_view what, std::uint64_t& copied,
                             std::string& detail) {
    ForkPlace place = fork;
    place.chunk = kLargeCopySize;
    place.length = static_cast<std::uint32_t>(length);
    const CopyStatus status = CopyForkTo(place, file, at, copied);
    if (status != CopyStatus::Done) {
        detail = CopyFailure(status, what, "the output");
        return ResultOf(status);
    }
    if (copied != length) {
        detail = std::string(what) + " ended before its " + std::to_string(length) +
                 " bytes: nothing was written, as the wrapping states the lengths first";
        return ImportResult::Truncated;
    }
    return ImportResult::Converted;
}

}  // namespace veskar
