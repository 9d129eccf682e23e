// The floor of the NTFS batch benchmark: what an ntfs-3g mount (streams_interface=windows)
// itself costs for the outputs of `veskar-convert` in the sfm layout. Every MacBinary file of
// the source folder is read and its outputs made in memory first; then, timed, each file
// takes one exclusive create, one write and one close for its data file, the same (a plain
// create) for its AFP_Resource stream when it has a resource fork, and for its AFP_AfpInfo
// stream. Prints the seconds of the timed part; the benchmark syncs the target after.
//   sfm_floor SOURCE_FOLDER TARGET_FOLDER
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "containers/finder_info.h"
#include "containers/sfm_output.h"

namespace {

constexpr std::size_t kHeaderSize = 128;

struct Output {
    std::string name;
    std::vector<char> source;  // the whole MacBinary file; the forks follow its header
    std::size_t dataLength = 0;
    std::size_t resourceAt = 0;
    std::size_t resourceLength = 0;
    AfpInfo info{};
};

std::uint32_t Big32(const std::vector<char>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool Prepare(const std::filesystem::path& path, Output& out) {
    std::ifstream in(path, std::ios::binary);
    out.source.assign(std::istreambuf_iterator<char>(in), {});
    const std::vector<char>& b = out.source;
    if (b.size() < kHeaderSize || b[1] < 1 || b[1] > 63) return false;
    out.name.assign(&b[2], static_cast<std::size_t>(b[1]));
    out.dataLength = Big32(b, 83);
    out.resourceLength = Big32(b, 87);
    out.resourceAt = kHeaderSize + (out.dataLength + 127) / 128 * 128;
    if (out.resourceAt + out.resourceLength > b.size()) return false;
    FinderInformation info{};
    std::copy(&b[65], &b[73], info.begin());  // type and creator
    out.info = MakeAfpInfo(info);
    return true;
}

bool Write(const std::string& path, int flags, const void* bytes, std::size_t count) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    if (fd < 0) return false;
    const bool written = ::write(fd, bytes, count) == static_cast<ssize_t>(count);
    return ::close(fd) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sfm_floor SOURCE_FOLDER TARGET_FOLDER\n");
        return 2;
    }
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<Output> outputs(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!Prepare(paths[i], outputs[i])) {
            std::fprintf(stderr, "sfm_floor: %s is no MacBinary file\n", paths[i].c_str());
            return 1;
        }
    }
    if (::chdir(argv[2]) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    const std::string resource = ":" + std::string(kResourceStream);
    const std::string afpInfo = ":" + std::string(kAfpInfoStream);
    const auto start = std::chrono::steady_clock::now();
    for (const Output& out : outputs) {
        const bool written =
            Write(out.name, O_EXCL, out.source.data() + kHeaderSize, out.dataLength) &&
            (out.resourceLength == 0 ||
             Write(out.name + resource, O_TRUNC, out.source.data() + out.resourceAt,
                   out.resourceLength)) &&
            Write(out.name + afpInfo, O_TRUNC, out.info.data(), out.info.size());
        if (!written) {
            std::perror(out.name.c_str());
            return 1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", elapsed.count());
    return 0;
}
