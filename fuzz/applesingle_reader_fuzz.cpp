// SPDX-License-Identifier: Apache-2.0
// The AppleSingle reader on bytes in memory.
#include "core/read/applesingle.h"
#include "fuzz/reader_checks.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source({data, size});
    fuzzing::CheckReading(ReadAppleSingle(source), size, 0);
    return 0;
}
