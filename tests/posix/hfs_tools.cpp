// SPDX-License-Identifier: Apache-2.0
#include "tests/posix/hfs_tools.h"

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <system_error>

namespace veskar {

namespace {

std::uint32_t Big32(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

}  // namespace

bool HfsTools::Installed() {
    for (const char* tool :
         {"hformat", "hmount", "hmkdir", "hcopy", "hattrib", "hls", "hvol", "humount"})
        if (::access(("/usr/bin/" + std::string(tool)).c_str(), X_OK) != 0) return false;
    return true;
}

ProgramRun HfsTools::Run(const std::string& tool, const std::vector<std::string>& args) const {
    std::vector<std::string> line = {"HOME=" + home_.Path(), "/usr/bin/" + tool};
    line.insert(line.end(), args.begin(), args.end());
    return RunProgram("/usr/bin/env", line, home_.Path());
}

ProgramRun HfsTools::Format(const std::string& image, std::uint64_t bytes,
                            const std::string& name) const {
    std::error_code error;
    std::filesystem::remove(image, error);
    if (!WriteFile(image, {})) return {-1, "", "cannot make " + image};
    std::filesystem::resize_file(image, bytes, error);
    if (error) return {-1, "", "cannot make " + image + " " + std::to_string(bytes) + " bytes"};
    return Run("hformat", {"-l", name, image});
}

ProgramRun HfsTools::CopyIn(const std::vector<std::string>& sources, const std::string& target,
                            const std::string& mode) const {
    std::vector<std::string> args = {mode};
    args.insert(args.end(), sources.begin(), sources.end());
    args.push_back(target);
    return Run("hcopy", args);
}

std::optional<std::vector<HfsListing>> HfsTools::List(std::string& why) const {
    const ProgramRun run = Run("hls", {"-laRNU", ":"});
    if (run.status != 0 || !run.err.empty()) {
        why = "hls: " + run.err;
        return std::nullopt;
    }
    return ParseHfsListing(run.out, why);
}

std::optional<HfsCopy> HfsTools::CopyOut(const std::string& path, std::string& why) const {
    const std::string out = home_.File("copied.bin");
    std::error_code error;
    std::filesystem::remove(out, error);
    const ProgramRun run = Run("hcopy", {"-m", path, out});
    if (run.status != 0) {
        why = "hcopy -m " + path + ": " + run.err;
        return std::nullopt;
    }
    std::optional<HfsCopy> copy = ParseMacBinary(ReadFile(out));
    std::filesystem::remove(out, error);
    if (!copy) why = "hcopy -m " + path + " wrote no MacBinary file";
    return copy;
}

// Each line of a file or folder has fixed columns: its kind and flags ("f", "F" locked, "d",
// then "i" when invisible), the type and creator ("TYPE/CRTR" from column 3) or the count of
// what a folder holds ("N items"), the resource and data fork lengths in columns 12 and 22,
// the date in 33 to 44 and the name from 46 on. A folder's contents follow an empty line and
// the folder's path (":Letters:1998:").
std::optional<std::vector<HfsListing>> ParseHfsListing(const std::string& out, std::string& why) {
    std::vector<HfsListing> listing;
    std::istringstream lines(out);
    std::string line, folder;
    bool pathNext = false;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            pathNext = true;
            continue;
        }
        if (pathNext) {
            pathNext = false;
            if (line.size() < 2 || line.front() != ':' || line.back() != ':') {
                why = "hls: no folder path: " + line;
                return std::nullopt;
            }
            folder = line.substr(1);
            continue;
        }
        HfsListing entry;
        const char kind = line[0];
        if (line.size() < 47 || (kind != 'f' && kind != 'F' && kind != 'd') || line[45] != ' ') {
            why = "hls: not a line of a file or folder: " + line;
            return std::nullopt;
        }
        entry.folder = kind == 'd';
        entry.locked = kind == 'F';
        entry.invisible = line[1] == 'i';
        entry.path = folder + line.substr(46);
        try {
            if (entry.folder) {
                entry.items = static_cast<std::uint32_t>(std::stoul(line.substr(2, 31)));
            } else {
                if (line[7] != '/') throw std::invalid_argument("no type and creator");
                entry.type = line.substr(3, 4);
                entry.creator = line.substr(8, 4);
                entry.resourceLength = std::stoull(line.substr(12, 10));
                entry.dataLength = std::stoull(line.substr(22, 10));
            }
        } catch (const std::exception&) {
            why = "hls: not a line of a file or folder: " + line;
            return std::nullopt;
        }
        listing.push_back(entry);
    }
    return listing;
}

// The 128-byte header (version 0, name of 1 to 63 bytes, the forks' lengths at 83 and 87), the
// data fork, then the resource fork, each padded to 128 bytes; a secondary header (length at
// 120) before the data fork.
std::optional<HfsCopy> ParseMacBinary(const Bytes& file) {
    if (file.size() < 128 || file[0] != 0 || file[1] < 1 || file[1] > 63 || file[74] != 0)
        return std::nullopt;
    auto padded = [](std::uint64_t length) { return (length + 127) / 128 * 128; };
    HfsCopy copy;
    copy.name.assign(file.begin() + 2, file.begin() + 2 + file[1]);
    copy.type.assign(file.begin() + 65, file.begin() + 69);
    copy.creator.assign(file.begin() + 69, file.begin() + 73);
    copy.finderFlags = static_cast<std::uint16_t>(file[73] << 8 | file[101]);
    copy.created = Big32(file, 91);
    copy.modified = Big32(file, 95);
    const std::uint64_t data = Big32(file, 83), resource = Big32(file, 87);
    const std::uint64_t dataAt = 128 + padded(std::uint64_t{file[120]} << 8 | file[121]);
    const std::uint64_t resourceAt = dataAt + padded(data);
    if (resourceAt + resource > file.size()) return std::nullopt;
    const auto begin = file.begin();
    copy.data.assign(begin + static_cast<std::ptrdiff_t>(dataAt),
                     begin + static_cast<std::ptrdiff_t>(dataAt + data));
    copy.resource.assign(begin + static_cast<std::ptrdiff_t>(resourceAt),
                         begin + static_cast<std::ptrdiff_t>(resourceAt + resource));
    return copy;
}

}  // namespace veskar
