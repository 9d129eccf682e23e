// SPDX-License-Identifier: Apache-2.0
// The BinHex reading on a text in memory (a stream over the input's bytes, no file system):
// where the data starts, the header, the forks and the check values, and the MacBinary
// header the staging file would carry, read back by the MacBinary reader.
#include <cstdio>
#include <cstdlib>

#include "core/read/binhex/binhex_check.h"
#include "core/read/binhex/binhex_staging.h"
#include "core/read/macbinary.h"
#include "fuzz/reader_checks.h"

using namespace veskar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen takes no empty buffer
    std::FILE* text = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!text) std::abort();
    const auto start = binhex::FindDataStart(text, binhex::Start::LineAfterIdentification);
    if (start) {
        const binhex::Contents contents = binhex::ReadContents(text, *start);
        // What the text holds of a fork is never more than the fork's stated length.
        if (contents.dataPresent > contents.dataLength ||
            contents.resourcePresent > contents.resourceLength)
            std::abort();
        const MacBinaryHeader header =
            StagingHeaderOf(contents.nameLength, contents.name, contents.record);
        MemorySource staged(header);
        fuzzing::CheckReading(ReadMacBinary(staged), header.size(), ~std::uint64_t{0} / 2);
    }
    std::fclose(text);
    return 0;
}
