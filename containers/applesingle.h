// AppleSingle: one file holding a Macintosh file's forks and its Finder information as
// entries placed by the shared header (containers/entry_table.h).
#pragma once

#include <string_view>

#include "containers/import_result.h"
#include "containers/sfm_output.h"

// Converts one AppleSingle file into the target folder: Converted, CannotOpen (nothing
// written), WrongKind (no AppleSingle magic; nothing written), ReadFailed or WriteFailed
// (nothing left behind), or Truncated (the file ends before its header, table or an entry
// that is carried does; what it holds is written).
ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               ImportReport* report = nullptr);
