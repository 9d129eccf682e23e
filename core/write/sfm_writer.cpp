// SPDX-License-Identifier: Apache-2.0
#include "core/write/sfm_writer.h"

#include "core/common/charsets.h"
#include "core/common/shortfall.h"
#include "core/finder_info.h"
#include "platform/platform.h"

namespace veskar {

ImportResult SfmWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                              ImportReport* report) const {
    std::string name =
        naming_ == SfmNaming::AsItStands ? file.name : OutputNameFor(file.name, sourcePath);
    const FinderInformation info = finderInfo_ == SfmFinderInfo::Whole
                                       ? FinderInfoForAnotherMachine(file.finderInfo)
                                       : TypeAndCreatorOnly(file.finderInfo);
    ForkPlace data = file.data;
    ForkPlace resource = file.resource;
    data.chunk = resource.chunk = chunk_;
    return WithShortfall(WriteSfmOutput(name, data, resource, info, report), file.shortfall,
                         report);
}

std::string OwnFileName(std::string_view sourcePath) {
    const std::string_view native = sourcePath.substr(platform::FileNameStart(sourcePath));
    if (auto ansi = platform::NativeToAnsi(native)) return *ansi;
    // Characters that code page 1252 cannot hold have no 8-bit form. Every byte of them (all
    // of a multi-byte sequence is 0x80 or above) becomes '_', so the name keeps its ASCII
    // part and its extension, and no stray 1252 character stands for a byte of UTF-8.
    std::string ansi(native);
    for (char& c : ansi)
        if (static_cast<unsigned char>(c) >= 0x80) c = '_';
    return ansi;
}

std::string OutputNameFor(std::string_view macName, std::string_view sourcePath) {
    const std::string_view beforeZero = macName.substr(0, macName.find('\0'));
    if (!beforeZero.empty()) return charsets::MacRomanToCp1252(beforeZero);
    return OwnFileName(sourcePath);
}

}  // namespace veskar
