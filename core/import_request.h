// SPDX-License-Identifier: Apache-2.0
// What a caller asks of an import before it starts: the layout to write, a trial run, the
// checks, and the options of the formats that have some. Nothing of it comes back; what the
// import did comes back in its report (core/import_report.h).
#pragma once

#include <optional>
#include <string>

#include "core/read/binhex/binhex_format.h"
#include "core/read/read_options.h"
#include "core/stored_layout.h"

namespace veskar {

class OutputWriter;

// A trial run: nothing is created, and the report tells what would be written. Into a folder
// that the caller would create first, the names are those of an empty folder (the caller
// passes a folder on the same volume that exists).
enum class DryRun { Off, IntoFolder, IntoNewFolder };

struct ImportRequest {
    // The layout to write; null: the import's own, the NTFS output as the window writes it.
    const OutputWriter* writer = nullptr;
    DryRun dryRun = DryRun::Off;
    // Refuse, before anything is written, a source whose check values are wrong (CheckFailed)
    // or that ends before what it states (Truncated).
    bool verify = false;
    // BinHex: where the data starts (the window's rule by default), and whether the text is
    // decoded in one pass straight into the output, to its closing colon, instead of through
    // the intermediate and staging files as the window does.
    binhex::Start binhexStart = binhex::Start::FirstColon;
    bool binhexOnePass = false;
    // AppleDouble: the companion's path; empty for the one beside the data file ("._NAME", or
    // with every variant "%NAME" or "NAME.rsrc").
    std::string companionPath;
    // What the readers take beyond the window's.
    ReadOptions read;
    // Each output read back through the reader of this layout (the one written) and compared
    // with the source's description: one that differs fails (VerifyFailed) and is removed.
    std::optional<StoredLayout> readBack = std::nullopt;
    // A source whose output name (as in an empty folder) is taken in the target is passed over
    // (Exists); with a read-back, only when what bears the name reads back as the source, and
    // otherwise it is written under a new name.
    bool skipExisting = false;
};

}  // namespace veskar
