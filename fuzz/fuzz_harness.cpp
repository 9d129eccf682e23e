// SPDX-License-Identifier: Apache-2.0
#include "fuzz/fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

namespace veskar {

namespace fuzzing {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what.c_str());
    std::abort();
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        names.insert(fs::relative(it->path(), folder).string());
    return names;
}

struct Folders {
    fs::path target;   // on the NTFS mount
    fs::path scratch;  // the sources
    fs::path temp;     // TMPDIR of the process: staging and fallback intermediates go here
};

const Folders& TheFolders() {
    static const Folders folders = [] {
        const char* target = std::getenv("VESKAR_FUZZ_TARGET");
        if (!target || !*target)
            Broken("VESKAR_FUZZ_TARGET must name a folder on an ntfs-3g mount");
        // The imports take their temporary folder from TMPDIR, which the fuzz script points
        // at an empty folder of its own, so every staging file left behind shows.
        Folders f;
        f.target = fs::absolute(target);
        f.temp = fs::temp_directory_path();
        if (f.temp.filename().empty()) f.temp = f.temp.parent_path();
        if (!Listing(f.temp).empty()) Broken("TMPDIR " + f.temp.string() + " is not empty");
        f.scratch = f.temp.parent_path() / (f.temp.filename().string() + "-sources");
        fs::create_directories(f.scratch);
        return f;
    }();
    return folders;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Defined(ImportResult result, bool verifying) {
    switch (result) {
        case ImportResult::Converted:
        case ImportResult::NotBinHex:
        case ImportResult::CannotOpen:
        case ImportResult::WrongKind:
        case ImportResult::WriteFailed:
            return true;
        case ImportResult::Truncated:
            return true;
        case ImportResult::CheckFailed:  // only when verification was asked for
            return verifying;
        case ImportResult::ReadFailed:  // the scratch files never fail a read
            return false;
        case ImportResult::VerifyFailed:  // the harness asks for no read-back of outputs
        case ImportResult::Exists:        // nor to pass over outputs there already
            return false;
    }
    return false;
}

}  // namespace

void RunImport(const std::vector<SourceFile>& sources,
               const std::function<ImportResult(const std::string& target,
                                                const std::string& sourcePath)>& import,
               bool verifying) {
    const Folders& f = TheFolders();
    std::vector<std::pair<fs::path, std::string>> written;
    for (const SourceFile& source : sources) {
        const fs::path path = f.scratch / source.name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(source.bytes.data()),
                   static_cast<std::streamsize>(source.bytes.size()));
        written.emplace_back(path, ReadAll(path));
    }
    const std::set<std::string> scratchBefore = Listing(f.scratch);
    const std::set<std::string> targetBefore = Listing(f.target);

    const ImportResult result = import(f.target.string(), written.front().first.string());

    if (!Defined(result, verifying)) Broken("result " + std::to_string(static_cast<int>(result)));
    if (Listing(f.scratch) != scratchBefore) Broken("files appeared beside the sources");
    if (!Listing(f.temp).empty()) Broken("a staging file was left in the temporary folder");
    for (const auto& [path, bytes] : written)
        if (ReadAll(path) != bytes) Broken("source " + path.string() + " changed");

    std::set<std::string> added;
    for (const std::string& name : Listing(f.target))
        if (!targetBefore.count(name)) added.insert(name);
    // A truncated source leaves its output too, except a BinHex header refused for its
    // missing forks, which leaves none.
    if (result == ImportResult::Converted ||
        (result == ImportResult::Truncated && !added.empty())) {
        if (added.size() != 1) Broken(std::to_string(added.size()) + " outputs for one import");
    } else if (!added.empty()) {
        Broken("a failed import left " + *added.begin() + " in the target folder");
    }
    // Keep the volume from filling up and every run starting alike.
    for (const std::string& name : added)
        fs::remove_all(f.target / name);
    for (const auto& entry : written)
        fs::remove(entry.first);
}

std::pair<std::span<const std::uint8_t>, std::span<const std::uint8_t>> SplitInput(
    const std::uint8_t* data, std::size_t size) {
    if (size < 2) return {{data, size}, {}};
    const std::size_t at = std::min<std::size_t>((data[0] << 8 | data[1]), size - 2);
    return {{data + 2, at}, {data + 2 + at, size - 2 - at}};
}

}  // namespace fuzzing

}  // namespace veskar
