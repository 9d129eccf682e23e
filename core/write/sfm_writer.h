// SPDX-License-Identifier: Apache-2.0
// The NTFS output as a writer of Macintosh file descriptions: the data file with its
// AFP_Resource and AFP_AfpInfo streams, written by WriteSfmOutput into the current folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/common/copy_fork.h"
#include "core/write/output_writer.h"

namespace veskar {

// How the Macintosh name becomes the output's 8-bit Windows name.
enum class SfmNaming {
    AsItStands,  // the name's bytes unchanged (MacBinary, BinHex)
    // Mac Roman translated to code page 1252; without a name, the source's own (AppleSingle,
    // AppleDouble)
    Translated,
    // The Mac name in Unicode, what NTFS refuses in the private range, as Services for
    // Macintosh and macOS's SMB client store names (the command line's, where names are
    // native Unicode: Linux); elsewhere as Translated.
    MacClient,
};

// Which of the Finder information the AFP_AfpInfo record carries.
enum class SfmFinderInfo {
    TypeAndCreator,  // each up to its first zero byte, the rest zero: the window's record
    Whole,           // all 32 bytes, made fit for another machine (core/finder_info.h)
};

class SfmWriter final : public OutputWriter {
  public:
    // `chunk`: the bytes each read and write of a fork copy moves.
    explicit SfmWriter(SfmNaming naming, SfmFinderInfo finderInfo = SfmFinderInfo::TypeAndCreator,
                       std::size_t chunk = kCopyBufferSize)
        : naming_(naming), finderInfo_(finderInfo), chunk_(chunk) {}
    TargetNeeds Needs() const override { return TargetNeeds::NamedStreams; }
    ImportResult Plan(const MacFileDescription& file, std::string_view sourcePath,
                      bool intoEmptyFolder, ImportReport& report) const override;
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport& report) const override;
    ImportResult WriteFolder(const MacFileDescription& folder, const std::string& nativeName,
                             ImportReport& report) const override;

  private:
    std::string NameOf(const MacFileDescription& file, std::string_view sourcePath) const;
    bool MacClientNames() const;
    FinderInformation InfoOf(const MacFileDescription& file) const;

    SfmNaming naming_;
    SfmFinderInfo finderInfo_;
    std::size_t chunk_;
};

// The output name: the Macintosh name translated to code page 1252 when it has a character
// before its first zero byte, otherwise the last component of `sourcePath` in 8-bit form.
std::string OutputNameFor(std::string_view macName, std::string_view sourcePath);

// The last component of a native path, in 8-bit Windows form.
std::string OwnFileName(std::string_view sourcePath);

}  // namespace veskar
