// The floor of the fruit batch benchmark: what the file system itself costs for the outputs
// of `veskar-convert --layout fruit`. Every MacBinary file of the source folder is read and
// its outputs made in memory first; then, timed, each file takes one exclusive create, one
// write and one close for its data file, the same for its "._" file, and one setxattr of
// netatalk's metadata. Prints the seconds of the timed part. The benchmark syncs the target
// after the floor ends, as after veskar-convert ends: a sync called right after the writes,
// from within, was found to take twice as long as the same sync called a moment later.
//   fruit_floor SOURCE_FOLDER TARGET_FOLDER
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "containers/server_records.h"

namespace {

constexpr std::size_t kHeaderSize = 128;

struct Output {
    std::string name;
    std::string companionName;
    std::vector<char> source;  // the whole MacBinary file; the data fork follows its header
    std::size_t dataLength = 0;
    std::vector<std::uint8_t> companion;  // the "._" file: its header, then the resource fork
    NetatalkMetadata metadata{};
};

std::uint32_t Big32(const std::vector<char>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool Prepare(const std::filesystem::path& path, std::time_t now, Output& out) {
    std::ifstream in(path, std::ios::binary);
    out.source.assign(std::istreambuf_iterator<char>(in), {});
    const std::vector<char>& b = out.source;
    if (b.size() < kHeaderSize || b[1] < 1 || b[1] > 63) return false;
    out.name.assign(&b[2], static_cast<std::size_t>(b[1]));
    out.companionName = "._" + out.name;
    out.dataLength = Big32(b, 83);
    const std::size_t resourceLength = Big32(b, 87);
    const std::size_t resourceAt = kHeaderSize + (out.dataLength + 127) / 128 * 128;
    if (resourceAt + resourceLength > b.size()) return false;
    FinderInformation info{};
    std::copy(&b[65], &b[73], info.begin());  // type and creator
    const AppleDoubleHeader header =
        MakeAppleDoubleHeader(info, static_cast<std::uint32_t>(resourceLength));
    out.companion.assign(header.begin(), header.end());
    out.companion.insert(out.companion.end(), &b[resourceAt], &b[resourceAt] + resourceLength);
    out.metadata = MakeNetatalkMetadata(info, now);
    return true;
}

bool WriteNew(const std::string& name, const void* bytes, std::size_t count) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = ::write(fd, bytes, count) == static_cast<ssize_t>(count);
    return ::close(fd) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fruit_floor SOURCE_FOLDER TARGET_FOLDER\n");
        return 2;
    }
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<Output> outputs(paths.size());
    const std::time_t now = std::time(nullptr);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!Prepare(paths[i], now, outputs[i])) {
            std::fprintf(stderr, "fruit_floor: %s is no MacBinary file\n", paths[i].c_str());
            return 1;
        }
    }
    const int target = ::open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (target < 0 || ::fchdir(target) != 0) {
        std::perror(argv[2]);
        return 1;
    }

    const std::string attribute = std::string("user.") + netatalk::kMetadataAttribute;
    const auto start = std::chrono::steady_clock::now();
    for (const Output& out : outputs) {
        if (!WriteNew(out.name, out.source.data() + kHeaderSize, out.dataLength) ||
            !WriteNew(out.companionName, out.companion.data(), out.companion.size()) ||
            ::setxattr(out.name.c_str(), attribute.c_str(), out.metadata.data(),
                       out.metadata.size(), XATTR_CREATE) != 0) {
            std::perror(out.name.c_str());
            return 1;
        }
    }
    const std::chrono::duration<double> written = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", written.count());
    return 0;
}
