// SPDX-License-Identifier: Apache-2.0
// The import operations: a reader of the source's format composed with a writer of the
// layout asked for. The window's pages call the four operations as the window has them (the
// NTFS output, no request, no report); the command line asks with a request and reads the
// report.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/import_request.h"
#include "core/mac_file.h"
#include "core/write/output_writer.h"

namespace veskar {

// A source the caller has open already, with what it has read of its start: an import that
// is handed it reads it through the same stream, so that it is opened once.
struct OpenedSource {
    std::FILE* stream = nullptr;
    SourceStart start;
};

// Converts one BinHex file into the target folder: Converted; NotBinHex without the
// identification text (nothing is created); CannotOpen for the source or the staging file;
// WrongKind when the decoded header is refused; Truncated when the text ends before its forks
// do (what it holds is written, unless the header is refused for the missing forks alone);
// CheckFailed (only with a request's verify) when a check value is wrong; ReadFailed when a
// read of the source, an intermediate or the staging file fails; WriteFailed when an
// intermediate, the staging file or an output could not be made. No intermediate or staging
// file outlives the call. The output is named after the file name in the BinHex header.
ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          ImportReport* report = nullptr);
ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          const ImportRequest& request, ImportReport& report);

// Converts one MacBinary file into the target folder: Converted, CannotOpen, WrongKind (the
// header test failed), CheckFailed (only with verify: the MacBinary II/III header's check
// value is wrong), ReadFailed or WriteFailed (nothing left behind), or Truncated.
ImportResult ImportMacBinary(std::string_view targetFolder, std::string_view sourcePath,
                             ImportReport* report = nullptr);
// `opened`: the source as the caller has it open; `sourcePath` then names it in messages
// and output names.
ImportResult ImportMacBinary(std::string_view targetFolder, std::string_view sourcePath,
                             const ImportRequest& request, ImportReport& report,
                             const OpenedSource* opened = nullptr);

// Converts one AppleSingle file into the target folder: Converted, CannotOpen (nothing
// written), WrongKind (no AppleSingle magic; nothing written), ReadFailed or WriteFailed
// (nothing left behind), or Truncated (the file ends before its header, table or an entry
// that is carried does; what it holds is written).
ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               ImportReport* report = nullptr);
ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               const ImportRequest& request, ImportReport& report);

// Converts a data file and its companion (the "._" file beside it, or the request's
// companionPath: an unpacked zip archive keeps it under "__MACOSX/", in a tree that mirrors
// the data files') into the target folder: Converted, CannotOpen (either file cannot be
// opened, or the companion's path would be too long; nothing written), WrongKind (the
// companion has no AppleDouble magic; nothing written), ReadFailed or WriteFailed (nothing
// left behind), or Truncated (the companion ends before its header, table or an entry that
// is carried does, or the data file is shorter than an entry 1 states; what they hold is
// written).
ImportResult ImportAppleDouble(std::string_view targetFolder, std::string_view dataFilePath,
                               ImportReport* report = nullptr);
ImportResult ImportAppleDouble(std::string_view targetFolder, std::string_view dataFilePath,
                               const ImportRequest& request, ImportReport& report);

// Writes a folder's own information, read from its companion at `companionPath` ("._NAME"
// beside the folder, or under "__MACOSX/"), onto the folder `folderName` in the target folder,
// which the caller made for it: Converted, CannotOpen, WrongKind (no AppleDouble header),
// ReadFailed, WriteFailed, or Truncated (the companion ends early; what it holds is written).
// A trial run reports what would be written.
ImportResult ImportFolderInformation(std::string_view targetFolder, const std::string& folderName,
                                     const std::string& companionPath, const ImportRequest& request,
                                     ImportReport& report);

// The same for a folder's information read by `read`.
ImportResult ImportFolderDescribed(std::string_view targetFolder, const std::string& folderName,
                                   const ImportRequest& request, ImportReport& report,
                                   const std::function<MacFileReading()>& read);

// The import of one described source, in the order every format keeps: the target folder
// entered (it is the current folder after every import, whatever its result); the source
// opened and read by `read`; refused for what its header says; refused for a wrong check
// value when the request asks; the target folder found usable or not; refused for what was
// found past the header; refused, when the request asks, for a source that ends before what
// it states; then written by the request's writer (`own` without one), or described by a
// trial run. `read` keeps the files it opens open until the call returns.
ImportResult ImportDescribed(std::string_view targetFolder, std::string_view sourcePath,
                             const ImportRequest& request, const OutputWriter& own,
                             ImportReport& report, const std::function<MacFileReading()>& read);

// The NTFS output as the window writes it, with the names as the format's import keeps them.
const OutputWriter& WindowWriter(bool translateNames);

}  // namespace veskar
