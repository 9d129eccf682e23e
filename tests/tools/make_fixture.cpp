// SPDX-License-Identifier: Apache-2.0
// Writes one Macintosh file in a container format with the test suite's own encoders, for the
// scripts that test the programs from outside (scripts/test-windows.sh):
//
//   make_fixture FORMAT OUT NAME TYPECREATOR DATA RESOURCE
//
// FORMAT is macbinary, applesingle, binhex or appledouble. NAME is the Macintosh name (its
// bytes as given), TYPECREATOR the eight characters of type and creator, DATA and RESOURCE
// files holding the forks' bytes. OUT is the file to write; for appledouble it is a folder,
// which gets the pair NAME (the data fork) and its companion ._NAME (Finder info, resource
// fork). Exit status 0 when written, 1 when a file cannot be read or written, 2 for a usage
// error.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/apple_encoder.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

using namespace veskar;

namespace {

int Usage() {
    std::fputs(
        "usage: make_fixture macbinary|applesingle|binhex|appledouble OUT NAME "
        "TYPECREATOR DATA RESOURCE\n",
        stderr);
    return 2;
}

bool ReadFork(const std::string& path, Bytes& out) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        std::fprintf(stderr, "make_fixture: cannot read %s\n", path.c_str());
        return false;
    }
    out = ReadFile(path);
    return true;
}

bool Write(const std::string& path, const Bytes& bytes) {
    if (WriteFile(path, bytes)) return true;
    std::fprintf(stderr, "make_fixture: cannot write %s\n", path.c_str());
    return false;
}

// The 16 bytes of the Finder's file record: type and creator, then zero flags, location and
// folder.
Bytes FileFinderInfo(const std::string& typeCreator) {
    Bytes info = TypeCreatorBytes(typeCreator);
    info.resize(16, 0);
    return info;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) return Usage();
    const std::string format = argv[1], out = argv[2], typeCreator = argv[4];
    if (typeCreator.size() != 8) return Usage();
    MacFile file;
    file.name = argv[3];
    file.type = typeCreator.substr(0, 4);
    file.creator = typeCreator.substr(4);
    if (!ReadFork(argv[5], file.data) || !ReadFork(argv[6], file.resource)) return 1;

    namespace ids = apple_fixtures;
    bool written = false;
    if (format == "macbinary") {
        written = Write(out, EncodeMacBinary(file));
    } else if (format == "applesingle") {
        // The entries' bytes lie in another order than their ids.
        written = Write(out, EncodeAppleSingle({{ids::kRealName, BytesOf(file.name)},
                                                {ids::kFinderInfo, FileFinderInfo(typeCreator)},
                                                {ids::kResourceFork, file.resource},
                                                {ids::kDataFork, file.data}}));
    } else if (format == "binhex") {
        // As a Macintosh writes it: carriage return and line feed, runs of at most 255.
        BinHexStyle style;
        style.preamble = "(This file must be converted with BinHex 4.0)\r\n\r\n";
        style.lineBreak = "\r\n";
        style.chainRuns = false;
        written = Write(out, BytesOf(EncodeBinHex(file, style)));
    } else if (format == "appledouble") {
        const std::string folder = out + "/";
        written = Write(folder + file.name, file.data) &&
                  Write(folder + "._" + file.name,
                        EncodeAppleDouble({{ids::kFinderInfo, FileFinderInfo(typeCreator)},
                                           {ids::kResourceFork, file.resource}}));
    } else {
        return Usage();
    }
    return written ? 0 : 1;
}
