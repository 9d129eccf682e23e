// SPDX-License-Identifier: Apache-2.0
// BinHex sources of any content, through the window's intermediates and staging file, and in
// the command line's one pass straight into the output, with and without --verify.
#include "core/import.h"
#include "core/read/binhex/binhex_staging.h"
#include "fuzz/fuzz_harness.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.hqx", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportBinHex(target, source);
                       });
    const bool verify = size > 0 && (data[size - 1] & 1) != 0;
    fuzzing::RunImport(
        {{"source.hqx", {data, size}}},
        [verify](const std::string& target, const std::string& source) {
            ImportReport report;
            return ImportBinHex(target, source, {.verify = verify, .binhexOnePass = true}, report);
        },
        verify);
    return 0;
}
