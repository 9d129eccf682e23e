// SPDX-License-Identifier: Apache-2.0
// What an import reports to its caller beyond its result: the trial-run choice it was given,
// the name it wrote, the forks' sizes, the type and creator, and why it failed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace veskar {

using TypeCreator = std::array<std::uint8_t, 8>;
// The Finder information: type, creator, flags, ... (see core/finder_info.h).
constexpr std::size_t kFinderInfoSize = 32;
using FinderInformation = std::array<std::uint8_t, kFinderInfoSize>;

class OutputWriter;

// A trial run, chosen by the caller before the import: nothing is created, and the report
// tells what would be written. Into a folder that the caller would create first, the names
// are those of an empty folder (the caller passes a folder on the same volume that exists).
enum class DryRun { Off, IntoFolder, IntoNewFolder };

// What an import did, for the command line: the name it wrote and, on failure, why.
struct ImportReport {
    // Set by the caller; the rest is filled by the import.
    DryRun dryRun = DryRun::Off;
    const OutputWriter* writer = nullptr;  // the layout to write; null: the import's own
    // In the target folder: 8-bit Windows form, or the native form when `nativeName` is set.
    std::string outputName;
    bool nativeName = false;
    std::uint64_t dataBytes = 0;
    std::uint64_t resourceBytes = 0;
    TypeCreator typeCreator{};
    std::uint16_t finderFlags = 0;  // as written
    std::string detail;             // empty on success
};

}  // namespace veskar
