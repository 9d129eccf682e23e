// SPDX-License-Identifier: Apache-2.0
// A Macintosh file as a source describes it, before anything is decided about the target:
// what the readers of each format make from a source's bytes, and what the writers write.
// Nothing here knows a target.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/common/copy_fork.h"
#include "core/common/import_result.h"

namespace veskar {

using TypeCreator = std::array<std::uint8_t, 8>;
// The Finder information: type, creator, flags, ... (see core/finder_info.h).
constexpr std::size_t kFinderInfoSize = 32;
using FinderInformation = std::array<std::uint8_t, kFinderInfoSize>;

struct MacFileDescription {
    // The Macintosh name's bytes, in Mac Roman as every format carries it; empty when the
    // source carries none (the writer then names the output after the source).
    std::string name;
    // The Finder information as the source holds it: type, creator, flags, ... Bytes the
    // source does not carry are zero.
    FinderInformation finderInfo{};
    // Where the forks lie in the source (their streams are the source's open files, or null
    // for bytes in memory).
    ForkPlace data;
    ForkPlace resource;
    // What the source lacks of what it states ("the data fork lacks 128 of its 1000 bytes");
    // empty when it holds the file whole. A fork's own shortfall is told by the writer from
    // its place, as the copy delivers it.
    std::string shortfall;

    TypeCreator typeCreator() const {
        TypeCreator typeCreator;
        std::copy_n(finderInfo.begin(), typeCreator.size(), typeCreator.begin());
        return typeCreator;
    }
};

// What a reader makes of a source. `refusal`: the header says it is not of the reader's
// format, or cannot be read. `flaw`: what was found past the header that keeps the file from
// being written (a read that failed, a fork too long to copy); an import tells it only once
// the target folder has been found usable, as it always has. `checkFailure`: a check value
// the source carries is wrong; only an import that is asked to check refuses the source for
// it.
struct MacFileReading {
    std::optional<Refusal> refusal;
    std::optional<Refusal> flaw;
    std::optional<Refusal> checkFailure;
    MacFileDescription file;
};

// What the description's source lacks: its forks' shortfalls as a copy would meet them (the
// data fork's first), then what the reader noted; empty when it holds the file whole.
std::string ShortfallOf(const MacFileDescription& file);

}  // namespace veskar
