// SPDX-License-Identifier: Apache-2.0
// Sources that carry what a Mac file has besides its forks, for the tests of every layout: a
// dated MacBinary II file with a comment, a macOS pair with extended attributes (one empty,
// one whose name holds ':', one too long for a stream), and a folder with its own dated
// information and a file inside.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/apple_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace whole_file {

constexpr std::int64_t kCreated = 1679824852;  // 2023-03-26 10:00:52 UTC
constexpr std::int64_t kModified = kCreated + 3600;
constexpr std::int64_t kFolderCreated = 946684800 + 0x2BC1D4B4;
constexpr std::int64_t kFolderModified = kFolderCreated + 86400;
constexpr std::uint16_t kFolderFlags = 0x0400;  // a custom icon
inline const std::string kComment = "Found on a 1991 CD";
inline const std::string kTagsName = "com.apple.metadata:_kMDItemUserTags";
inline const Bytes kTags = BytesOf("bplist00\xA1\x01UGreen\n\x08\x0A");
inline const std::string kEmptyName = "org.example.empty";
inline const std::string kLongName = "org.example." + std::string(240, 'l');

inline Bytes Seconds2000(std::int64_t unixSeconds) {
    Bytes out(4);
    PutBigEndian32(out, 0, static_cast<std::uint32_t>(unixSeconds - 946684800));
    return out;
}

// Dated.bin, tagged with ._tagged, and Album/ with ._Album and Album/Inner.bin.
inline void MakeSources(const TempDir& dir) {
    MacFile dated;
    dated.name = "Dated";
    dated.data = PatternBytes(2000, 5);
    dated.resource = PatternBytes(100, 6);
    dated.created = static_cast<std::uint32_t>(kCreated + 2082844800);
    dated.modified = static_cast<std::uint32_t>(kModified + 2082844800);
    dated.comment = kComment;
    WriteFile(dir.File("Dated.bin"), EncodeMacBinary(dated));

    MacOsCompanion tagged;
    tagged.attributes = {{kTagsName, kTags}, {kEmptyName, {}}, {kLongName, BytesOf("long")}};
    WriteFile(dir.File("tagged"), BytesOf("tagged data"));
    WriteFile(dir.File("._tagged"), EncodeMacOsCompanion(tagged));

    Bytes folderInfo(32, 0);
    PutBigEndian16(folderInfo, 8, kFolderFlags);
    Bytes dates = Seconds2000(kFolderCreated);
    for (const Bytes& more :
         {Seconds2000(kFolderModified), Bytes{0x80, 0, 0, 0}, Bytes{0x80, 0, 0, 0}})
        dates.insert(dates.end(), more.begin(), more.end());
    WriteFile(dir.File("._Album"), EncodeAppleDouble({{apple_fixtures::kFinderInfo, folderInfo},
                                                      {8, dates},
                                                      {4, BytesOf("Holiday")}}));
    std::filesystem::create_directory(dir.File("Album"));
    MacFile inner;
    inner.name = "Inner";
    inner.data = BytesOf("inside");
    WriteFile(dir.File("Album/Inner.bin"), EncodeMacBinary(inner));
}

}  // namespace whole_file

}  // namespace veskar
