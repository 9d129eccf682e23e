// SPDX-License-Identifier: Apache-2.0
// The two BinHex decoding passes on texts of any content, checked against a plain in-memory
// decoding of the same text: the streaming passes, with their blocks and their fast paths,
// must give exactly its bytes; and the decoding to the closing colon with vectors, in blocks
// of any size, must give what the scalar decoding gives.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/read/binhex/binhex_decode.h"
#include "core/read/binhex/binhex_passes.h"

using namespace veskar;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every complete group of code characters after the first colon, CR, LF and colon dropped.
Bytes ReferencePacked(const std::uint8_t* text, std::size_t size) {
    Bytes packed;
    std::size_t at = 0;
    while (at < size && text[at] != ':')
        ++at;
    std::uint8_t group[4];
    int held = 0;
    for (++at; at < size; ++at) {
        const std::uint8_t c = text[at];
        if (c == '\r' || c == '\n' || c == ':') continue;
        group[held++] = binhex::CodeValue(c);
        if (held < 4) continue;
        packed.push_back(static_cast<std::uint8_t>(group[0] << 2 | group[1] >> 4));
        packed.push_back(static_cast<std::uint8_t>((group[1] & 0x0F) << 4 | group[2] >> 2));
        packed.push_back(static_cast<std::uint8_t>((group[2] & 0x03) << 6 | group[3]));
        held = 0;
    }
    return packed;
}

// A run repeats the last byte written; 90 00 is one 0x90; a marker at the very end is dropped.
Bytes ReferenceExpanded(const Bytes& packed) {
    Bytes expanded;
    std::uint8_t previous = 0;
    for (std::size_t at = 0; at < packed.size(); ++at) {
        if (packed[at] != binhex::kRunMarker) {
            previous = packed[at];
            expanded.push_back(previous);
        } else if (at + 1 < packed.size()) {
            const std::uint8_t count = packed[++at];
            if (count == 0) {
                previous = binhex::kRunMarker;
                expanded.push_back(previous);
            } else {
                expanded.insert(expanded.end(), count - 1u, previous);
            }
        }
    }
    return expanded;
}

Bytes Contents(std::FILE* stream) {
    Bytes bytes;
    std::rewind(stream);
    for (int c; (c = std::fgetc(stream)) != EOF;)
        bytes.push_back(static_cast<std::uint8_t>(c));
    std::rewind(stream);
    return bytes;
}

// The text up to its closing colon in blocks of `block` bytes, the last short group counted,
// with vectors or without them.
Bytes DecodedToClosingColon(const std::uint8_t* text, std::size_t size, std::size_t block,
                            bool vectors) {
    binhex::TextDecoder decoder(binhex::Colon::EndsData, vectors);
    Bytes packed(binhex::TextDecoder::PackedRoom(size) + 4);
    std::size_t written = 0;
    for (std::size_t at = 0; at < size && !decoder.Ended(); at += block) {
        std::size_t used = 0;
        written +=
            decoder.Decode({text + at, std::min(block, size - at)}, packed.data() + written, used);
    }
    written += decoder.Finish(packed.data() + written);
    packed.resize(written);
    return packed;
}

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* text = std::tmpfile();
    std::FILE* packed = std::tmpfile();
    std::FILE* expanded = std::tmpfile();
    Check(text && packed && expanded, "temporary files");
    std::fwrite(data, 1, size, text);
    std::rewind(text);

    Check(binhex::DecodeBinHexText(text, packed) == binhex::PassResult::Done,
          "pass 1 did not finish");
    const Bytes packedBytes = Contents(packed);
    Check(packedBytes == ReferencePacked(data, size), "pass 1 differs from the plain decoding");
    Check(binhex::ExpandRuns(packed, expanded) == binhex::PassResult::Done,
          "pass 2 did not finish");
    Check(Contents(expanded) == ReferenceExpanded(packedBytes),
          "pass 2 differs from the plain expansion");

    // To the closing colon, the vectors decode what the scalar decoding does, in any blocks.
    const std::size_t block = size > 0 ? 1 + data[0] % 97 : 1;
    Check(DecodedToClosingColon(data, size, block, true) ==
              DecodedToClosingColon(data, size, size + 1, false),
          "the vector decoding differs from the scalar one");

    std::fclose(text);
    std::fclose(packed);
    std::fclose(expanded);
    return 0;
}
