// SPDX-License-Identifier: Apache-2.0
// How much of what a source states it does not hold: "the data fork lacks 128 of its 1000
// bytes". The detail of a truncated source is such phrases, joined by "; ".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/import_report.h"

namespace veskar {

// Adds the phrase for `what` to `shortfall` when `held` is less than `stated`.
void NoteShortfall(std::string& shortfall, std::string_view what, std::uint64_t stated,
                   std::uint64_t held);

// The result of an import whose source lacks `shortfall` (empty when it lacks nothing): an
// output written, or described by a trial run, becomes Truncated with the shortfall added to
// its detail; any other result stays as it is.
ImportResult WithShortfall(ImportResult result, const std::string& shortfall, ImportReport* report);

}  // namespace veskar
