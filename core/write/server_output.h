// SPDX-License-Identifier: Apache-2.0
// What the layouts of the Linux file servers share: the output named as a Mac client stores
// names there (core/write/server_name.h), unique in any letter case together with the "._"
// file beside it where the layout has one, the data file made and filled, and the "._" file.
// As with the NTFS output, nothing is overwritten, and a failure or an interrupt leaves
// nothing of the output behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/import_report.h"
#include "core/mac_file.h"
#include "core/write/work_output.h"
#include "platform/platform.h"

namespace veskar {

// Whether the layout keeps a "._" file beside the data file, which then takes part in every
// name's choice; and whether that file also holds the extended attributes, in the ATTR block
// macOS writes (the layout for volumes without attributes).
// InAppleDoubleFolder: netatalk 2's header in ".AppleDouble/NAME", names stored with its escapes.
enum class Companion { None, Beside, BesideWithAttributes, InAppleDoubleFolder };

// How the layout stores names: as a Mac client does through Samba, or with netatalk 2's escapes.
enum class StoredNames { MacClient, Netatalk2 };

// What a server layout's writer would name the output (WriteFailed when every unique name is
// taken), with the Finder information it writes reported.
ImportResult PlanServerOutput(const MacFileDescription& file, std::string_view sourcePath,
                              Companion companion, bool intoEmptyFolder, ImportReport& report,
                              StoredNames names = StoredNames::MacClient,
                              std::string_view extension = {});

// One output of a server layout as it is written, step by step; whatever has not been kept
// when it goes is removed.
class ServerOutput {
  public:
    ServerOutput(const MacFileDescription& file, std::string_view sourcePath, Companion companion,
                 ImportReport& report, StoredNames names = StoredNames::MacClient,
                 std::string_view extension = {});

    // The Finder information made fit for another machine, as every server layout writes it.
    const FinderInformation& Info() const { return info_; }
    const std::string& Name() const { return name_; }

    // Creates the data file (in the work folder) and copies the data fork into it: Converted
    // or the failure.
    ImportResult WriteData();
    // The data file while it is open, for attributes set on it before it is closed.
    platform::RawFile Data() const { return data_.Raw(); }
    ImportResult CloseData();
    // The "._" file: the Finder information (with the extended attributes where the layout
    // keeps them there) and the resource fork.
    ImportResult WriteCompanion();
    // Samba's attributes on the open data file: the creation time as Samba keeps it, and each
    // extended attribute as the stream of its name (user.DosStream.NAME:$DATA, with the zero
    // byte Samba keeps after a stream); netatalk's metadata too when `netatalk`. An attribute
    // whose name the target cannot hold is left out, and a warning names it.
    ImportResult SetServerAttributes(bool netatalk);
    // Puts the output in place under its name, or the next unique one: the "._" file first,
    // when there is one. Converted or the failure.
    ImportResult Place();

    // The data file and the "._" file beside it, whole: the data written, `beforeClose` given
    // the open data file (for an attribute set on it), the file closed, the "._" file
    // written, both put in place.
    ImportResult WritePair(
        const std::function<ImportResult(ServerOutput& output)>& beforeClose = nullptr);

    // The output as one file of the writer's own making (a wrapping of the file: MacBinary,
    // AppleSingle, BinHex): `fill` writes it whole into the open file and tells the forks'
    // bytes it wrote, or fails with a result and `detail`; then the file is dated, closed and
    // placed.
    using Fill = std::function<ImportResult(platform::RawFile file, std::uint64_t& data,
                                            std::uint64_t& resource, std::string& detail)>;
    ImportResult WriteWhole(const Fill& fill);

    // Fails the output with `result` and why, removing what was made (and saying what could
    // not be removed).
    ImportResult Fail(ImportResult result, std::string detail);
    // Reports the output placed, with the resource fork's bytes as written (the data fork's
    // are counted by WriteData), and tells what the source lacked.
    ImportResult Done(std::uint64_t resourceCopied);

  private:
    OutputNaming Naming() const;
    // The "._" file's name, or netatalk 2's header's, for the output name `name`.
    std::string CompanionName(const std::string& name) const;

    // Held for this output when no run holds the current folder already; let go last.
    platform::Holding holding_;
    const MacFileDescription& file_;
    Companion companion_;
    ImportReport& report_;
    FinderInformation info_;
    std::string name_;
    WorkOutput data_;
    WorkOutput appleDouble_;  // the "._" file
    std::uint64_t dataCopied_ = 0;
    std::uint64_t resourceCopied_ = 0;
};

}  // namespace veskar
