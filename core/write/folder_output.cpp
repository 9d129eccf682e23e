// SPDX-License-Identifier: Apache-2.0
#include "core/write/folder_output.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "core/common/c_stream.h"
#include "core/common/copy_fork.h"
#include "core/finder_info.h"
#include "core/write/afp_info.h"
#include "core/write/server_attributes.h"
#include "core/write/server_name.h"
#include "core/write/server_records.h"
#include "core/write/work_output.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// As for a file's streams (see sfm_output.cpp): a stream name of 255 UTF-16 units, in a path
// component of 255 bytes with the folder's name and the ':'.
constexpr std::size_t kMaxStreamNameUtf16 = 255;
constexpr std::size_t kNameBytes = 255;

bool AllZero(const FinderInformation& info) {
    return std::all_of(info.begin(), info.end(), [](std::uint8_t b) { return b == 0; });
}

// The report of a folder's information: its name, and the Finder information written.
FinderInformation Begin(const MacFileDescription& folder, const std::string& nativeName,
                        ImportReport& report) {
    const FinderInformation info = FinderInfoToWrite(folder);
    report.outputName = nativeName;
    report.nativeName = true;
    report.dataBytes = report.resourceBytes = 0;
    NoteFinderInfo(report, info);
    return info;
}

ImportResult Failed(ImportReport& report, std::string detail) {
    report.detail = std::move(detail);
    return ImportResult::WriteFailed;
}

// A named stream of the folder, written whole.
bool WriteFolderStream(const std::string& nativeName, std::string_view stream,
                       const std::uint8_t* bytes, std::size_t count) {
    CStream out(platform::CreateNamedStream(nativeName, stream));
    if (!out) return false;
    const bool written = count == 0 || std::fwrite(bytes, 1, count, out.get()) == count;
    return CloseWritten(out) && written;
}

// The "._" file of the folder: its Finder information (with the attributes when
// `withAttributes`) and no resource fork, placed only under its own name; for netatalk 2 its
// header in the folder's ".AppleDouble/.Parent".
ImportResult WriteFolderCompanion(const MacFileDescription& folder, const std::string& nativeName,
                                  const FinderInformation& info, ServerFolder layout,
                                  ImportReport& report) {
    const bool withAttributes = layout == ServerFolder::AppleDouble;
    std::string name = "._" + nativeName;
    std::vector<std::uint8_t> header;
    if (layout == ServerFolder::Netatalk2) {
        const std::string inside = nativeName + "/" + netatalk2::kFolder;
        name = inside + "/" + netatalk2::kParent;
        std::string path, why;
        if (platform::HoldSubfolder(
                platform::WithTrailingSeparator(platform::CurrentHeldFolder()) + nativeName,
                netatalk2::kFolder, true, path, why) != platform::Subfolder::Held)
            return Failed(report, why);
        header = MakeNetatalk2Header(info, folder, {}, 0, std::time(nullptr));
        for (const ExtendedAttribute& attribute : folder.extendedAttributes)
            report.warnings.push_back("the extended attribute " + attribute.name +
                                      " was left out: netatalk 2 keeps no extended attributes");
    } else {
        header = MakeAppleDoubleHeader(
            info, 0, withAttributes ? folder.extendedAttributes : std::vector<ExtendedAttribute>{});
        if (withAttributes) NoteAttributesLeftOut(folder.extendedAttributes, report.warnings);
    }
    if (platform::FindNativeInCurrentFolder(name) != platform::Found::Nothing)
        return Failed(report, name + " is there already: the folder's information was not written");
    WorkOutput file;
    std::string detail;
    if (!file.Create(detail)) return Failed(report, detail);
    if (!platform::RawWriteAllAt(file.Raw(), 0, header.data(), header.size()) ||
        !platform::SetFileTimes(file.Raw(), folder.dates.modified, std::nullopt) || !file.Close()) {
        detail = SystemReason("cannot write " + name);
        file.Discard();
        if (!file.Leftover().empty()) detail += "; " + file.Leftover();
        return Failed(report, detail);
    }
    const OutputNaming naming{
        .taken =
            [](const std::string& taken) {
                return platform::FindNativeInCurrentFolder(taken) != platform::Found::Nothing;
            },
        .makeUnique = [](std::string&) { return false; },
        .native = [](const std::string& given) { return given; },
    };
    WorkOutput* const files[] = {&file};
    const std::function<std::string(const std::string&)> asItIs[] = {
        [](const std::string& given) { return given; }};
    if (!PlaceOutput(files, asItIs, name, naming, detail)) return Failed(report, detail);
    if (layout != ServerFolder::Netatalk2) platform::NoteNativeCreatedInCurrentFolder(name);
    return ImportResult::Converted;
}

}  // namespace

ImportResult WriteSfmFolder(const MacFileDescription& folder, const std::string& nativeName,
                            ImportReport& report) {
    const FinderInformation info = Begin(folder, nativeName, report);
    if (!AllZero(info)) {
        const AfpInfo record = MakeAfpInfo(info, folder.dates.backedUp);
        if (!WriteFolderStream(nativeName, kAfpInfoStream, record.data(), record.size()))
            return Failed(report, SystemReason("cannot write the folder's AFP_AfpInfo stream"));
    }
    const std::size_t maxStreamBytes =
        nativeName.size() + 1 < kNameBytes ? kNameBytes - nativeName.size() - 1 : 0;
    for (const ExtendedAttribute& attribute : folder.extendedAttributes) {
        std::string why;
        const std::optional<std::string> stream =
            AttributeStreamName(attribute.name, maxStreamBytes, kMaxStreamNameUtf16, why);
        if (!stream) {
            report.warnings.push_back(std::move(why));
            continue;
        }
        if (!WriteFolderStream(nativeName, *stream, attribute.value.data(), attribute.value.size()))
            return Failed(report, SystemReason("cannot write the folder's stream of the extended "
                                               "attribute " +
                                               attribute.name));
    }
    platform::SetFolderTimesAtEnd(nativeName, folder.dates.modified, folder.dates.created);
    report.detail.clear();
    return ImportResult::Converted;
}

ImportResult WriteServerFolder(const MacFileDescription& folder, const std::string& nativeName,
                               ServerFolder layout, ImportReport& report) {
    const FinderInformation info = Begin(folder, nativeName, report);
    // A folder without information of its own gets its dates alone.
    const bool mac = CarriesMacInformation(folder);
    if (layout != ServerFolder::AppleDouble && layout != ServerFolder::Netatalk2) {
        const std::optional<platform::RawFile> held = platform::HeldFolderInCurrent(nativeName);
        if (!held) return Failed(report, "the folder " + nativeName + " is not held by this run");
        std::string failure = SetSambaAttributes(
            *held, folder, info, mac && layout == ServerFolder::Fruit, samba::kFolder, report);
        if (failure.empty() && layout == ServerFolder::StreamsXattr)
            failure = SetAfpInfoAttribute(*held, info, folder.dates.backedUp);
        if (!failure.empty()) return Failed(report, failure);
    }
    if (mac && layout != ServerFolder::StreamsXattr)
        if (const ImportResult result =
                WriteFolderCompanion(folder, nativeName, info, layout, report);
            result != ImportResult::Converted)
            return result;
    platform::SetFolderTimesAtEnd(nativeName, folder.dates.modified, std::nullopt);
    report.detail.clear();
    return ImportResult::Converted;
}

}  // namespace veskar
