// BinHex sources of any content, through the intermediates and the staging file.
#include "binhex/binhex_import.h"
#include "binhex/binhex_staging.h"
#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.hqx", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportBinHex(target, source);
                       });
    return 0;
}
