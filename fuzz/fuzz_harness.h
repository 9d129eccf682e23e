// SPDX-License-Identifier: Apache-2.0
// What every fuzz target checks after each input: the import ended in a defined result,
// wrote nothing outside the target folder, left no intermediate or staging file, did not
// touch its sources, and wrote an output only when it said so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/common/import_result.h"

namespace veskar {

namespace fuzzing {

// A named source file to place in the scratch folder before the import runs.
struct SourceFile {
    std::string name;
    std::span<const std::uint8_t> bytes;
};

// Runs `import(target, sourcePath)` on the sources written into a fresh scratch folder
// (`sourcePath` is that of the first one) and aborts on any broken invariant. The target is
// the folder named by VESKAR_FUZZ_TARGET, which must be on a volume with named streams.
// CheckFailed is a result only when `verifying`.
void RunImport(const std::vector<SourceFile>& sources,
               const std::function<ImportResult(const std::string& target,
                                                const std::string& sourcePath)>& import,
               bool verifying = false);

// Splits one fuzz input into two parts at a position taken from its first two bytes.
std::pair<std::span<const std::uint8_t>, std::span<const std::uint8_t>> SplitInput(
    const std::uint8_t* data, std::size_t size);

}  // namespace fuzzing

}  // namespace veskar
