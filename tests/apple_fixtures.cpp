// SPDX-License-Identifier: Apache-2.0
#include "tests/apple_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace veskar {

Bytes ConvertedFile::TypeCreator() const {
    if (afpInfo.size() < 24) return {};
    return Bytes(afpInfo.begin() + 16, afpInfo.begin() + 24);
}

ConvertedFile ReadConverted(NtfsVolume& volume, const std::string& output) {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    ConvertedFile file;
    if (const auto data = volume.ReadStream(output)) file.data = BytesOf(*data);
    const auto streams = volume.StreamNames(output);
    if (std::find(streams.begin(), streams.end(), kResourceStream) != streams.end())
        file.resource =
            BytesOf(volume.ReadStream(output, std::string(kResourceStream)).value_or(""));
    file.afpInfo = BytesOf(volume.ReadStream(output, std::string(kAfpInfoStream)).value_or(""));
    return file;
}

void ExpectOutput(NtfsVolume& volume, const std::string& output, const Bytes& data,
                  const std::optional<Bytes>& resource, const Bytes& typeCreator) {
    const ConvertedFile file = ReadConverted(volume, output);
    EXPECT_EQ(file.data, data) << output;
    EXPECT_EQ(file.resource, resource) << output;
    EXPECT_EQ(file.afpInfo.size(), kAfpInfoSize) << output;
    EXPECT_EQ(file.TypeCreator(), typeCreator) << output;
}

std::vector<std::string> FilesOnVolume(const NtfsVolume& volume) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(volume.Root(), ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string RowName(const char* label) {
    std::string name = label;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::string SamplesDir() {
    std::error_code ignored;
    return std::filesystem::is_directory(VESKAR_SAMPLES_DIR, ignored) ? VESKAR_SAMPLES_DIR : "";
}

std::string OutsideSamplesDir() {
    std::error_code ignored;
    const std::string outside = VESKAR_SAMPLES_DIR "-outside";
    return std::filesystem::is_directory(outside, ignored) ? outside : "";
}

}  // namespace veskar
