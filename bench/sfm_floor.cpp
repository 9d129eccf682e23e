// SPDX-License-Identifier: Apache-2.0
// The floor of the NTFS batch benchmark: what an ntfs-3g mount (streams_interface=windows)
// itself costs for the outputs of `veskar-convert` in the sfm layout. Every MacBinary file of
// the source folder is read and its outputs made in memory first; then, timed, each file
// takes one exclusive create, one write and one close for its data file, the same (a plain
// create) for its AFP_Resource stream when it has a resource fork, and for its AFP_AfpInfo
// stream. Prints the seconds of the timed part; the benchmark syncs the target after.
//   sfm_floor SOURCE_FOLDER TARGET_FOLDER
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/floor_sources.h"
#include "core/write/sfm_output.h"

using namespace veskar;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sfm_floor SOURCE_FOLDER TARGET_FOLDER\n");
        return 2;
    }
    std::vector<FloorSource> sources;
    if (!ReadFloorSources("sfm_floor", argv[1], sources)) return 1;
    std::vector<AfpInfo> infos;
    for (const FloorSource& source : sources)
        infos.push_back(MakeAfpInfo(source.typeCreator));
    if (::chdir(argv[2]) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    const std::string resource = ":" + std::string(kResourceStream);
    const std::string afpInfo = ":" + std::string(kAfpInfoStream);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FloorSource& out = sources[i];
        const bool written =
            WriteFloorFile(out.name, O_EXCL, out.Data(), out.dataLength) &&
            (out.resourceLength == 0 ||
             WriteFloorFile(out.name + resource, O_TRUNC, out.Resource(), out.resourceLength)) &&
            WriteFloorFile(out.name + afpInfo, O_TRUNC, infos[i].data(), infos[i].size());
        if (!written) {
            std::perror(out.name.c_str());
            return 1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", elapsed.count());
    return 0;
}
