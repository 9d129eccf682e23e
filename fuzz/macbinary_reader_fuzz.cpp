// SPDX-License-Identifier: Apache-2.0
// The MacBinary reader on bytes in memory: no file system, tens of thousands of inputs a
// second.
#include "core/read/macbinary.h"
#include "fuzz/reader_checks.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source({data, size});
    // Forks start after the 128-byte header, which the header test does not count.
    fuzzing::CheckReading(ReadMacBinary(source), size, 2 * kMacBinaryHeaderSize);
    return 0;
}
