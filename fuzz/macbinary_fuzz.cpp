// SPDX-License-Identifier: Apache-2.0
// MacBinary sources of any content.
#include "core/import.h"
#include "core/read/macbinary.h"
#include "fuzz/fuzz_harness.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.bin", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportMacBinary(target, source);
                       });
    return 0;
}
