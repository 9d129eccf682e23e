// MacBinary sources of any content.
#include "containers/macbinary.h"
#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.bin", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportMacBinary(target, source);
                       });
    return 0;
}
