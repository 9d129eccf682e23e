// SPDX-License-Identifier: Apache-2.0
// The records server layouts keep besides the forks, as their readers take them apart: the
// AfpInfo record, Samba's DOS attributes record and stream attributes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/mac_file.h"

namespace veskar {

using StoredAttributes = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

struct AfpInfoRead {
    FinderInformation finderInfo{};
    std::optional<std::int64_t> backedUp;
};
// The 60-byte AfpInfo record (signature "AFP\0", version 1.0, little-endian words); nullopt
// for anything else.
std::optional<AfpInfoRead> ReadAfpInfo(std::span<const std::uint8_t> record);

// The creation time in Samba's DOS attributes record (version 5, as Samba writes it); nullopt
// when the record holds none or is of another form.
std::optional<std::int64_t> ReadDosCreated(std::span<const std::uint8_t> record);

// Samba's stream attributes (DosStream.NAME:$DATA) among a file's user attributes, each without
// the zero byte Samba keeps after a stream: the AfpInfo record, the resource fork and the
// others (the extended attributes, their names as a Mac client gave them).
struct SambaStreams {
    const std::vector<std::uint8_t>* afpInfo = nullptr;  // with its zero byte still
    const std::vector<std::uint8_t>* resource = nullptr;
    std::vector<ExtendedAttribute> attributes;
    const std::vector<std::uint8_t>* dosAttributes = nullptr;
    const std::vector<std::uint8_t>* netatalk = nullptr;  // org.netatalk.Metadata
};
SambaStreams ReadSambaStreams(const StoredAttributes& attributes);

}  // namespace veskar
