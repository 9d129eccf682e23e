// SPDX-License-Identifier: Apache-2.0
// AppleDouble pairs of any content: the input is split into the data file and its companion.
#include "core/import.h"
#include "core/read/appledouble.h"
#include "fuzz/fuzz_harness.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [dataFile, companion] = fuzzing::SplitInput(data, size);
    fuzzing::RunImport({{"pair", dataFile}, {"._pair", companion}},
                       [](const std::string& target, const std::string& source) {
                           return ImportAppleDouble(target, source);
                       });
    return 0;
}
