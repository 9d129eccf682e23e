// SPDX-License-Identifier: Apache-2.0
#include "core/read/stored_records.h"

#include <algorithm>
#include <string_view>

#include "core/common/byte_order.h"
#include "core/common/mac_time.h"
#include "core/read/stored_file.h"

namespace veskar {

namespace {

std::uint32_t Little32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return Field32(&bytes[at], true);
}

constexpr std::string_view kStreamPrefix = "DosStream.";
constexpr std::string_view kStreamSuffix = ":$DATA";

}  // namespace

std::optional<AfpInfoRead> ReadAfpInfo(std::span<const std::uint8_t> record) {
    constexpr std::size_t kSize = 60;
    if (record.size() < kSize || Little32(record, 0) != 0x00504641 ||
        Little32(record, 4) != 0x00010000)
        return std::nullopt;
    AfpInfoRead read;
    std::copy_n(record.begin() + 16, read.finderInfo.size(), read.finderInfo.begin());
    read.backedUp = mac_time::From2000(Little32(record, 12));
    return read;
}

std::optional<std::int64_t> ReadDosCreated(std::span<const std::uint8_t> record) {
    constexpr std::uint32_t kCreateTimeHeld = 0x10;
    if (record.size() < 24 || record[2] != 5 || record[4] != 5 ||
        !(Little32(record, 8) & kCreateTimeHeld))
        return std::nullopt;
    const std::uint64_t ticks =
        std::uint64_t{Little32(record, 16)} | std::uint64_t{Little32(record, 20)} << 32;
    return ticks == 0 ? std::nullopt : std::optional(mac_time::FromNtfs(ticks));
}

SambaStreams ReadSambaStreams(const StoredAttributes& attributes) {
    SambaStreams streams;
    for (const auto& [name, value] : attributes) {
        if (name == "DOSATTRIB") {
            streams.dosAttributes = &value;
            continue;
        }
        if (name == "org.netatalk.Metadata") {
            streams.netatalk = &value;
            continue;
        }
        if (!name.starts_with(kStreamPrefix) || !name.ends_with(kStreamSuffix)) continue;
        const std::string_view stream = std::string_view(name).substr(
            kStreamPrefix.size(), name.size() - kStreamPrefix.size() - kStreamSuffix.size());
        if (stream == "AFP_AfpInfo") {
            streams.afpInfo = &value;
        } else if (stream == "AFP_Resource") {
            streams.resource = &value;
        } else if (!stream.empty()) {
            // Samba keeps one zero byte after a stream's bytes; a value without it is none
            // Samba wrote, and is taken as it stands.
            const std::size_t length =
                !value.empty() && value.back() == 0 ? value.size() - 1 : value.size();
            streams.attributes.push_back(
                {AttributeNameOfStored(stream),
                 std::vector<std::uint8_t>(value.begin(),
                                           value.begin() + static_cast<std::ptrdiff_t>(length))});
        }
    }
    return streams;
}

}  // namespace veskar
