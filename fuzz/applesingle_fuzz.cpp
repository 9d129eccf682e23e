// SPDX-License-Identifier: Apache-2.0
// AppleSingle sources of any content.
#include "core/import.h"
#include "core/read/applesingle.h"
#include "fuzz/fuzz_harness.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.as", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportAppleSingle(target, source);
                       });
    return 0;
}
