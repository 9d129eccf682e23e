// SPDX-License-Identifier: Apache-2.0
// The checks the AppleSingle and AppleDouble imports' tests share, with their encoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/write/sfm_output.h"
#include "tests/apple_encoder.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

namespace veskar {

// One output read back after unmounting. Imports leave the process inside the volume, which
// would keep it busy, so this leaves it first (CurrentFolderGuard restores).
struct ConvertedFile {
    std::optional<Bytes> data;
    std::optional<Bytes> resource;  // nullopt: no AFP_Resource stream
    Bytes afpInfo;
    Bytes TypeCreator() const;  // bytes 16 to 23 of the record; empty when it is short
};
ConvertedFile ReadConverted(NtfsVolume& volume, const std::string& output);

// Expects the file `output` (a native name) to hold these forks and this type and creator,
// read back after unmounting.
void ExpectOutput(NtfsVolume& volume, const std::string& output, const Bytes& data,
                  const std::optional<Bytes>& resource, const Bytes& typeCreator);

std::vector<std::string> FilesOnVolume(const NtfsVolume& volume);
std::string RowName(const char* label);  // a test-name-safe form of a row's label
std::string SamplesDir();                // empty when the samples are not here
std::string OutsideSamplesDir();         // other tools' files; empty when not here

}  // namespace veskar
