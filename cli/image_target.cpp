// SPDX-License-Identifier: Apache-2.0
#include "cli/image_target.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/common/mac_time.h"
#include "core/write/hfs_writer.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace cli {

namespace fs = std::filesystem;

std::string VolumeNameOf(const std::string& imagePath) {
    const fs::path path = platform::PathOfNative(imagePath);
    std::string name = HfsNameOf(platform::NativeToUtf8(platform::NativeOfPath(path.stem())));
    if (name.size() > hfs::kMaxVolumeNameBytes) name.resize(hfs::kMaxVolumeNameBytes);
    return name;
}

bool LooksLikeHfsImage(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::OpenStream(path, "rb"),
                                                         &std::fclose);
    std::array<std::uint8_t, 1026> head{};
    if (!file || std::fread(head.data(), 1, head.size(), file.get()) != head.size()) return false;
    const bool volume = head[1024] == 'B' && head[1025] == 'D';
    const bool partitioned =
        head[0] == 'E' && head[1] == 'R' && head[512] == 'P' && head[513] == 'M';
    return volume || partitioned;
}

std::optional<ImageTarget> OpenImageTarget(const Options& options, const std::string& target,
                                           std::string& problem) {
    ImageTarget image;
    const fs::path path = platform::PathOfNative(target);
    image.folder = platform::NativeOfPath(path.parent_path());
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
        problem = "a folder: --layout hfs writes into an HFS image file (IMAGE SOURCE...)";
        return std::nullopt;
    }
    if (fs::exists(status)) {
        if (options.imageSize != 0 || !options.volumeName.empty()) {
            problem = "the image is there already: --image-size and --volume-name make a new one";
            return std::nullopt;
        }
        image.trial = options.dryRun;
        image.volume = hfs::Volume::Open(target, !options.dryRun, problem);
        if (!image.volume) return std::nullopt;
        return image;
    }
    // The folders above a new image are made with it; a trial run makes its stand-in elsewhere.
    if (!options.dryRun && !fs::is_directory(path.parent_path(), error) &&
        !fs::create_directories(path.parent_path(), error)) {
        problem = "the folder for the image cannot be made: " + error.message();
        return std::nullopt;
    }
    const std::uint64_t bytes = options.imageSize != 0 ? options.imageSize : kDefaultImageBytes;
    const std::string name =
        options.volumeName.empty() ? VolumeNameOf(target) : HfsNameOf(options.volumeName);
    if (name.size() > hfs::kMaxVolumeNameBytes) {
        problem = "the volume name is longer than 27 bytes in Mac Roman";
        return std::nullopt;
    }
    std::string made = target;
    if (options.dryRun) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        image.scratch = platform::NativeOfPath(platform::PathOfNative(platform::TempFolder()) /
                                               ("veskar-trial-" + std::to_string(stamp) + ".hfs"));
        made = image.scratch;
    }
    // Made whole or not at all, and a trial run's stand-in registered as it is made, so that
    // an interrupt leaves neither half an image nor the stand-in behind.
    const platform::InterruptsHeld held;
    image.volume = hfs::Volume::Create(made, bytes, name,
                                       mac_time::To1904(std::int64_t{std::time(nullptr)}), problem);
    if (!image.volume) {
        if (!image.scratch.empty()) fs::remove(platform::PathOfNative(image.scratch), error);
        return std::nullopt;
    }
    if (!image.scratch.empty()) image.scratchSlot = platform::TrackTemporaryFile(image.scratch);
    image.made = !options.dryRun;
    return image;
}

std::string CloseImageTarget(ImageTarget& image) {
    std::string problem;
    if (image.volume && !image.trial && image.scratch.empty() && !image.volume->Sync(problem))
        problem = "the image could not be put on the disk: " + problem;
    image.volume.reset();
    if (image.scratchSlot >= 0) {
        platform::RemoveTrackedFile(image.scratchSlot, image.scratch);
    } else if (!image.scratch.empty()) {
        std::error_code error;
        fs::remove(platform::PathOfNative(image.scratch), error);
    }
    return problem;
}

}  // namespace cli

}  // namespace veskar
