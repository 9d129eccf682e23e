// SPDX-License-Identifier: Apache-2.0
// hfsutils (hformat, hmount, hmkdir, hcopy, hattrib, hls, hvol, humount), the peer that makes and
// reads HFS images in the HFS tests, run as a user runs them: each with a HOME of the object's
// own, since hfsutils keeps the volume it works on in $HOME/.hcwd, which a test must neither
// take from the user nor leave behind. And readers of what they print: the lines of `hls -l`,
// the MacBinary II files of `hcopy -m`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/mac_fixtures.h"
#include "tests/run_program.h"

namespace veskar {

// A file or folder as `hls -l` shows it.
struct HfsListing {
    std::string path;  // from the volume's root, names joined by ':' ("Letters:1998:Plan")
    bool folder = false;
    bool locked = false;           // a file's lock bit ("F")
    bool invisible = false;        // the Finder's invisible flag ("i")
    std::string type, creator;     // a file's, 4 bytes each as hls prints them
    std::uint64_t dataLength = 0;  // a file's forks, their logical lengths
    std::uint64_t resourceLength = 0;
    std::uint32_t items = 0;  // a folder's: the files and folders it holds directly
};

// A file as `hcopy -m` copies it out: MacBinary II.
struct HfsCopy {
    std::string name, type, creator;  // Mac Roman, as the volume holds them
    std::uint16_t finderFlags = 0;
    std::uint32_t created = 0, modified = 0;  // seconds since 1904, as the header holds them
    Bytes data, resource;
};

class HfsTools {
  public:
    // Whether Debian's hfsutils is installed.
    static bool Installed();

    // `tool` (a name of /usr/bin) with `args`, with this object's HOME.
    ProgramRun Run(const std::string& tool, const std::vector<std::string>& args) const;

    // A new image file of `bytes` with an empty volume named `name`, made by hformat, which
    // leaves it mounted.
    ProgramRun Format(const std::string& image, std::uint64_t bytes, const std::string& name) const;
    ProgramRun Mount(const std::string& image) const { return Run("hmount", {image}); }
    ProgramRun Unmount() const { return Run("humount", {}); }
    // `sources` copied into the mounted volume's folder `target` (":Letters:" or ":" for the
    // root), each as `mode` says: "-m" MacBinary, "-r" raw data, "-b" BinHex, "-a" by name.
    ProgramRun CopyIn(const std::vector<std::string>& sources, const std::string& target,
                      const std::string& mode = "-m") const;

    // Every file and folder of the mounted volume, in catalog order within each folder and each
    // folder's contents after it (`hls -laRNU`); nullopt, with the reason, when hls fails.
    std::optional<std::vector<HfsListing>> List(std::string& why) const;
    // The file at `path` (":Letters:Plan") of the mounted volume, copied out by `hcopy -m`;
    // nullopt, with the reason, when hcopy fails or writes no MacBinary file.
    std::optional<HfsCopy> CopyOut(const std::string& path, std::string& why) const;

  private:
    TempDir home_;
};

// The lines `hls -laRNU` prints for the volume's root; nullopt, with the reason, for a line
// that is none of them.
std::optional<std::vector<HfsListing>> ParseHfsListing(const std::string& out, std::string& why);
// A MacBinary (I or II) file's name, Finder information, dates and forks; nullopt when it is
// none.
std::optional<HfsCopy> ParseMacBinary(const Bytes& file);

}  // namespace veskar
