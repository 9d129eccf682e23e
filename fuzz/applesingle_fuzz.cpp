// AppleSingle sources of any content.
#include "containers/applesingle.h"
#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::RunImport({{"source.as", {data, size}}},
                       [](const std::string& target, const std::string& source) {
                           return ImportAppleSingle(target, source);
                       });
    return 0;
}
