// SPDX-License-Identifier: Apache-2.0
// The floor of the fruit batch benchmark: what the file system itself costs for the outputs
// of `veskar-convert --layout fruit`. Every MacBinary file of the source folder is read and
// its outputs made in memory first; then, timed, each file takes one exclusive create, one
// write and one close for its data file, the same for its "._" file, and one setxattr of
// netatalk's metadata. Prints the seconds of the timed part. The benchmark syncs the target
// after the floor ends, as after veskar-convert ends: a sync called right after the writes,
// from within, was found to take twice as long as the same sync called a moment later.
//   fruit_floor SOURCE_FOLDER TARGET_FOLDER
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/floor_sources.h"
#include "core/write/server_records.h"

using namespace veskar;

namespace {

// A source's outputs made in memory: the "._" file (its header, then the resource fork) and
// netatalk's metadata.
struct Output {
    std::string companionName;
    std::vector<std::uint8_t> companion;
    NetatalkMetadata metadata{};
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fruit_floor SOURCE_FOLDER TARGET_FOLDER\n");
        return 2;
    }
    std::vector<FloorSource> sources;
    if (!ReadFloorSources("fruit_floor", argv[1], sources)) return 1;
    std::vector<Output> outputs(sources.size());
    const std::time_t now = std::time(nullptr);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FloorSource& in = sources[i];
        Output& out = outputs[i];
        out.companionName = "._" + in.name;
        const AppleDoubleHeader header =
            MakeAppleDoubleHeader(in.typeCreator, static_cast<std::uint32_t>(in.resourceLength));
        out.companion.assign(header.begin(), header.end());
        out.companion.insert(out.companion.end(), in.Resource(), in.Resource() + in.resourceLength);
        out.metadata = MakeNetatalkMetadata(in.typeCreator, now);
    }
    const int target = ::open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (target < 0 || ::fchdir(target) != 0) {
        std::perror(argv[2]);
        return 1;
    }

    const std::string attribute = std::string("user.") + netatalk::kMetadataAttribute;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FloorSource& in = sources[i];
        const Output& out = outputs[i];
        if (!WriteFloorFile(in.name, O_EXCL, in.Data(), in.dataLength) ||
            !WriteFloorFile(out.companionName, O_EXCL, out.companion.data(),
                            out.companion.size()) ||
            ::setxattr(in.name.c_str(), attribute.c_str(), out.metadata.data(), out.metadata.size(),
                       XATTR_CREATE) != 0) {
            std::perror(in.name.c_str());
            return 1;
        }
    }
    const std::chrono::duration<double> written = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", written.count());
    return 0;
}
