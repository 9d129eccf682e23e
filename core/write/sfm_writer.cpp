// SPDX-License-Identifier: Apache-2.0
#include "core/write/sfm_writer.h"

#include "core/write/folder_output.h"

#include "core/common/charsets.h"
#include "core/finder_info.h"
#include "core/write/server_name.h"
#include "core/write/sfm_output.h"
#include "platform/platform.h"

namespace veskar {

bool SfmWriter::MacClientNames() const {
    return naming_ == SfmNaming::MacClient && platform::kNativeTextIsUtf8;
}

std::string SfmWriter::NameOf(const MacFileDescription& file, std::string_view sourcePath) const {
    if (naming_ == SfmNaming::AsItStands) return file.name;
    if (MacClientNames()) return ServerName(file, sourcePath, kMaxOutputNameChars);
    // A name in UTF-8, which only the command line reads so, in code page 1252 where it can
    // be; what the code page lacks becomes '_', as in a source's own name.
    if (file.nameCoding == NameCoding::Utf8 && !NameAsUtf8(file).empty())
        return *charsets::Utf8ToCp1252(NameAsUtf8(file), '_');
    return OutputNameFor(file.name, sourcePath);
}

FinderInformation SfmWriter::InfoOf(const MacFileDescription& file) const {
    return finderInfo_ == SfmFinderInfo::Whole ? FinderInfoToWrite(file)
                                               : TypeAndCreatorOnly(file.finderInfo);
}

ImportResult SfmWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                             bool intoEmptyFolder, ImportReport& report) const {
    std::string name = NameOf(file, sourcePath);
    return PlanSfmOutput(name, InfoOf(file), intoEmptyFolder, report, MacClientNames(),
                         naming_ == SfmNaming::MacClient);
}

ImportResult SfmWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                              ImportReport& report) const {
    std::string name = NameOf(file, sourcePath);
    ForkPlace data = file.data;
    ForkPlace resource = file.resource;
    data.chunk = resource.chunk = chunk_;
    // The window's record is the type and creator alone; the command line's output carries
    // the whole file.
    SfmExtras extras;
    if (finderInfo_ == SfmFinderInfo::Whole)
        extras = {file.dates, &file.extendedAttributes, !CarriesMacInformation(file),
                  MacClientNames(), naming_ == SfmNaming::MacClient};
    return WithShortfall(WriteSfmOutput(name, data, resource, InfoOf(file), &report, extras),
                         file.shortfall, &report);
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

ImportResult SfmWriter::WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                                    ImportReport& report) const {
    return WriteSfmFolder(folder, nativeName, report);
}

}  // namespace veskar
