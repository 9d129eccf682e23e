// SPDX-License-Identifier: Apache-2.0
// A file or folder as a Mac file server keeps it on its volume, which the readers of the
// server layouts describe: what the layout's import gathered of it (the stored name, the data
// file, the file system's times, the small named streams or user attributes, an AppleDouble
// header file, a resource fork stream), read into one description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/common/byte_source.h"
#include "core/mac_file.h"
#include "core/read/read_options.h"

namespace veskar {

struct StoredFile {
    std::string name;  // as stored on the volume (UTF-8 on Linux)
    bool folder = false;
    ByteSource* data = nullptr;                     // the data file; null for a folder
    std::optional<std::int64_t> modified, created;  // the file system's own times
    // User attributes (names without "user."), or for NTFS the named streams other than the
    // resource fork; small, read whole, in the order the volume lists them.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> attributes;
    ByteSource* header = nullptr;    // an AppleDouble header: "._NAME", ".AppleDouble/NAME"
    std::string headerPath;          // for messages
    ByteSource* resource = nullptr;  // NTFS: the AFP_Resource stream
};

// Windows' Services for Macintosh on NTFS: AFP_AfpInfo (Finder information, backup date),
// AFP_Resource, every other named stream an extended attribute; names as a Mac client stores
// them (the private range).
MacFileReading ReadSfmStored(const StoredFile& stored);
// Samba's and netatalk's layout: the "._" file (Finder information, resource fork), netatalk's
// metadata attribute (which wins where the two disagree, as it is what both servers serve),
// Samba's creation time record and stream attributes.
MacFileReading ReadFruitStored(const StoredFile& stored);
// Samba's stream attributes alone: AFP_AfpInfo, AFP_Resource and the others.
MacFileReading ReadStreamsXattrStored(const StoredFile& stored);
// netatalk 2: the AppleDouble header in ".AppleDouble/NAME" (".AppleDouble/.Parent" for a
// folder); names may carry netatalk's ":xx" escapes.
MacFileReading ReadNetatalk2Stored(const StoredFile& stored);
// macOS on volumes without attributes: the "._" file beside the data file or folder.
MacFileReading ReadAppleDoubleStored(const StoredFile& stored);

// A name as stored by a Mac client through Samba (and by the command line on NTFS) back as the
// Mac name: the private range's characters as the ones they stand for ('/' for U+F022, which a
// Mac name holds where the server's would hold ':').
std::string MacNameOfStored(std::string_view stored);
// The same for an extended attribute's name, where U+F022 stands for ':'.
std::string AttributeNameOfStored(std::string_view stored);
// A netatalk 2 name with its ":xx" escapes decoded.
std::string Netatalk2Unescaped(std::string_view stored);

}  // namespace veskar
