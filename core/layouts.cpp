// SPDX-License-Identifier: Apache-2.0
#include "core/layouts.h"

#include "core/common/copy_fork.h"
#include "core/common/joined_words.h"
#include "core/write/appledouble_writer.h"
#include "core/write/applesingle_writer.h"
#include "core/write/binhex_writer.h"
#include "core/write/fruit_writer.h"
#include "core/write/hfs_writer.h"
#include "core/write/macbinary_writer.h"
#include "core/write/netatalk2_writer.h"
#include "core/write/sfm_writer.h"
#include "core/write/streams_xattr_writer.h"

namespace veskar {

namespace {

template <typename Writer>
const OutputWriter& The() {
    static const Writer writer;
    return writer;
}

// The command line's NTFS output: names translated, the Finder information whole, and fork
// copies as large as one FUSE write request.
const OutputWriter& Sfm() {
    static const SfmWriter writer(SfmNaming::MacClient, SfmFinderInfo::Whole, kLargeCopySize);
    return writer;
}

const OutputWriter& HfsImageWriter() {
    return TheHfsWriter();
}

constexpr std::array<LayoutRow, 9> kLayouts{{
    {Layout::Sfm, "sfm", "NTFS named streams, for a Windows share (the default)",
     "NTFS named streams AFP_Resource and AFP_AfpInfo, for a Windows share or Samba serving "
     "NTFS through Windows",
     TargetNeeds::NamedStreams, &Sfm},
    {Layout::Fruit, "fruit", "a \"._\" file and an attribute, for Samba or netatalk",
     "the data file, a \"._\" AppleDouble file beside it with the resource fork and Finder "
     "information, and the Finder information in the attribute user.org.netatalk.Metadata: "
     "what Samba's vfs_fruit reads by default, and netatalk",
     TargetNeeds::UserAttributes, &The<FruitWriter>},
    {Layout::AppleDouble, "appledouble", "a \"._\" file beside each file, for a FAT or exFAT stick",
     "the data file and its \"._\" file only, for volumes without attributes (FAT, exFAT): "
     "what macOS reads on any volume",
     TargetNeeds::Nothing, &The<AppleDoubleWriter>},
    {Layout::StreamsXattr, "streams-xattr", "attributes, for Samba with fruit:resource = stream",
     "the attributes user.DosStream.AFP_AfpInfo:$DATA and user.DosStream.AFP_Resource:$DATA, "
     "as Samba keeps streams with fruit:metadata = stream and fruit:resource = stream; a "
     "resource fork must fit in one attribute (about 4 KiB in all on ext4)",
     TargetNeeds::UserAttributes, &The<StreamsXattrWriter>},
    {Layout::Netatalk2, "netatalk2", "an .AppleDouble folder, for netatalk 2",
     "the data file and its AppleDouble header in \".AppleDouble/NAME\" beside it (a folder's "
     "in its \".AppleDouble/.Parent\"), names with netatalk's :xx escapes: what netatalk 2 "
     "serves",
     TargetNeeds::Nothing, &The<Netatalk2Writer>},
    {Layout::MacBinary, "macbinary", "one NAME.bin file (MacBinary III), to send a file on",
     "MacBinary III, one file NAME.bin with both forks, the Finder information, dates and "
     "comment: to send a file on, or take it to a vintage Mac",
     TargetNeeds::Nothing, &The<MacBinaryWriter>},
    {Layout::AppleSingle, "applesingle", "one NAME.as file (AppleSingle), to send a file on",
     "AppleSingle version 2, one file NAME.as with every entry the file has (name, dates, "
     "Finder information, comment, attributes, both forks)",
     TargetNeeds::Nothing, &The<AppleSingleWriter>},
    {Layout::BinHex, "binhex", "one NAME.hqx text (BinHex 4.0), for mail",
     "BinHex 4.0 text NAME.hqx (name, type, creator, flags, both forks with their CRC-16s), "
     "for mail and old archives; it keeps no dates or comment",
     TargetNeeds::Nothing, &The<BinHexTextWriter>},
    {Layout::Hfs, "hfs", "an HFS disk image for an emulator (TARGET: the image)",
     "files and folders in an HFS (Mac OS Standard) volume image, made (of --image-size, named "
     "--volume-name) or filled further, raw or with an Apple partition map: both forks, the "
     "Finder information and the dates in the Mac's own file system, for emulators and vintage "
     "Macs; TARGET is the image file",
     TargetNeeds::Nothing, &HfsImageWriter},
}};

}  // namespace

const std::array<LayoutRow, 9>& Layouts() {
    return kLayouts;
}

const LayoutRow& LayoutRowOf(Layout layout) {
    for (const auto& row : kLayouts)
        if (row.layout == layout) return row;
    return kLayouts.front();
}

std::optional<Layout> LayoutFromWord(std::string_view word) {
    for (const auto& row : kLayouts)
        if (row.word == word) return row.layout;
    return std::nullopt;
}

std::string LayoutWords(std::string_view lastJoin) {
    return JoinedWords(kLayouts, lastJoin);
}

}  // namespace veskar
