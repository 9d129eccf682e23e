// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_attributes.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <vector>

#include "core/common/copy_fork.h"
#include "core/write/afp_info.h"
#include "core/write/server_name.h"
#include "core/write/server_records.h"

namespace veskar {

namespace {

// Linux allows 255 bytes for an attribute's name, and Samba's stream names take 21 of them
// ("DosStream." before, ":$DATA" after, "user." in front of all).
constexpr std::string_view kStreamPrefix = "DosStream.";
constexpr std::string_view kStreamSuffix = ":$DATA";
constexpr std::size_t kMaxStreamName = 255 - 5 - kStreamPrefix.size() - kStreamSuffix.size();

std::string CannotSet(std::string_view name) {
    return SystemReason("cannot set the attribute user." + std::string(name));
}

}  // namespace

std::string SetSambaAttributes(platform::RawFile target, const MacFileDescription& file,
                               const FinderInformation& info, bool netatalk,
                               std::uint32_t dosAttributes, ImportReport& report) {
    if (netatalk) {
        const NetatalkMetadata metadata =
            MakeNetatalkMetadata(info, file.dates, file.comment, std::time(nullptr));
        if (!platform::SetUserAttribute(target, netatalk::kMetadataAttribute, metadata.data(),
                                        metadata.size()))
            return CannotSet(netatalk::kMetadataAttribute);
    }
    if (file.dates.created) {
        const DosAttributes record = MakeDosAttributes(dosAttributes, *file.dates.created);
        if (!platform::SetUserAttribute(target, samba::kDosAttributes, record.data(),
                                        record.size()))
            return CannotSet(samba::kDosAttributes);
    }
    for (const ExtendedAttribute& attribute : file.extendedAttributes) {
        // SMB stream names cannot hold ':': a Mac client sends it in the private range, which
        // Samba keeps so.
        std::string why;
        const std::optional<std::string> stream =
            AttributeStreamName(attribute.name, kMaxStreamName, kMaxStreamName, why);
        if (!stream) {
            report.warnings.push_back(std::move(why));
            continue;
        }
        const std::string name = std::string(kStreamPrefix) + *stream + std::string(kStreamSuffix);
        std::vector<std::uint8_t> stored(attribute.value);
        stored.push_back(0);
        if (!platform::SetUserAttribute(target, name, stored.data(), stored.size()))
            return SystemReason("cannot set the extended attribute " + attribute.name + " (" +
                                std::to_string(attribute.value.size()) +
                                " bytes) as the attribute user." + name);
    }
    return {};
}

std::string SetAfpInfoAttribute(platform::RawFile target, const FinderInformation& info,
                                std::optional<std::int64_t> backedUp) {
    if (std::all_of(info.begin(), info.end(), [](std::uint8_t b) { return b == 0; })) return {};
    const AfpInfo record = MakeAfpInfo(info, backedUp);
    std::vector<std::uint8_t> stored(record.begin(), record.end());
    stored.push_back(0);
    if (!platform::SetUserAttribute(target, kAfpInfoAttribute, stored.data(), stored.size()))
        return CannotSet(kAfpInfoAttribute);
    return {};
}

}  // namespace veskar
