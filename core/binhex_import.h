// SPDX-License-Identifier: Apache-2.0
// The BinHex import: a BinHex 4.0 text is recognised by its identification line, decoded
// through two intermediate files, written as a MacBinary-form staging file in the temporary
// folder, and converted by the MacBinary import; or, for the command line, decoded in one
// pass straight into the output. The output is named after the file name in the BinHex
// header, not after the source. The last link of the BinHex chain.
#pragma once

#include <string_view>

#include "core/common/import_result.h"
#include "core/read/binhex/binhex_format.h"
#include "core/write/sfm_output.h"

namespace veskar {

// Converts one BinHex file into the target folder: Converted; NotBinHex without the
// identification text (nothing is created); CannotOpen for the source or the staging file;
// WrongKind when the decoded header is refused; Truncated when the text ends before its forks
// do (what it holds is written, unless the header is refused for the missing forks alone);
// ReadFailed when a read of the source, an intermediate or the staging file fails;
// WriteFailed when an intermediate, the staging file or an output could not be made. No
// intermediate or staging file outlives the call.
ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          ImportReport* report = nullptr);

namespace binhex {
// What the command line may ask beyond the window's import, which takes the defaults.
struct ImportOptions {
    Start start = Start::FirstColon;  // where the data starts: the window's rule
    bool verify = false;  // refuse a text whose check values are wrong, with CheckFailed
    // Decode the text in one pass straight into the output, to its closing colon, instead of
    // through the intermediate and staging files, which read on past a colon to the end of
    // the file as the window does.
    bool onePass = false;
};
}  // namespace binhex

// ImportBinHex with options. A trial run (report->dryRun) reads the text in memory and
// creates no file at all. With verify, a text that ends before its forks do is refused as
// Truncated, and one whose check value is wrong as CheckFailed, with nothing written: in one
// pass, what was written is removed.
ImportResult ImportBinHexWith(std::string_view targetFolder, std::string_view sourcePath,
                              const binhex::ImportOptions& options, ImportReport* report = nullptr);

}  // namespace veskar
