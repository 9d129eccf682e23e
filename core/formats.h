// SPDX-License-Identifier: Apache-2.0
// The formats the converter knows, in one table that dispatches: each row's word and title,
// its probe, and its import, which the command line calls for a probed source and the
// window's pages for their own format. The probes are
// graded by what they cost, and run cheapest first: the ones the first 128 bytes decide,
// then the BinHex search of the text's head, then the look at a second file (AppleDouble's
// "._" file beside the source).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/common/c_stream.h"
#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/import_request.h"

namespace veskar {

namespace formats {

// The four wrappings, and the layouts of servers, read as they keep files on their volumes.
enum class Format {
    Auto,
    BinHex,
    MacBinary,
    AppleSingle,
    AppleDouble,
    Sfm,
    Fruit,
    StreamsXattr,
    Netatalk2,
    Hfs  // an HFS volume image, read as a tree (-r)
};

struct Probe;

// A row's import: the source converted into the target folder as `request` asks, with the
// report filled. `probe`, when given, is this source's probe, whose open stream the import may
// take over so that the source is opened once.
using Importer = ImportResult (*)(std::string_view targetFolder, std::string_view sourcePath,
                                  const ImportRequest& request, ImportReport& report, Probe* probe);

struct ProbeRules {
    // The window's BinHex probe (the identification text within 128 bytes) instead of the
    // command line's (within 64 KiB, for texts behind mail or news headers).
    bool strict = false;
    // Where the AppleDouble companion of the source would be; beside it when empty.
    std::string companionPath;
};

// What a probe is given: the source's first bytes (up to 128; fewer when it is shorter), its
// size (0 when it cannot be told), the open source and its path.
struct ProbeInput {
    std::span<const std::uint8_t> head;
    std::uint64_t size = 0;
    std::FILE* stream = nullptr;
    const std::string& path;
    const ProbeRules& rules;
};

enum class ProbeAnswer { No, Yes, ReadFailed };

// What a probe has to read: the first 128 bytes only, a search of the text's head, the file's
// attributes or named streams, or a second file. The table runs them in this order.
enum class ProbeCost { Head, Search, Attributes, OtherFile };
// How much a yes says: a magic number or an identification text, or a header whose fields
// merely all make sense (MacBinary has no magic). Among equal costs the surer probe runs first.
enum class ProbeCertainty { Sure, Likely };

struct FormatRow {
    Format format;
    std::string_view word;   // the value of -f
    std::string_view title;  // the name people know it by
    Importer import;         // nullptr for "auto"
    // Whether the source is of this format; after ReadFailed, `failure` says why.
    ProbeAnswer (*probe)(const ProbeInput& input, std::string& failure);
    ProbeCost cost;
    ProbeCertainty certainty = ProbeCertainty::Sure;
};

// Every value of -f, "auto" first; "auto" has no importer of its own.
const std::array<FormatRow, 10>& Formats();
// Whether the format is a server's layout, read as a tree with its folders.
bool IsLayout(Format format);
const FormatRow& RowOf(Format format);
std::optional<Format> FormatFromWord(std::string_view word);
// The words of -f in the table's order, joined as "auto, binhex, ... or appledouble" (with
// `lastJoin` before the last), for messages and the help.
std::string FormatWords(std::string_view lastJoin = ", ");

struct Probe {
    enum class Verdict {
        Recognised,  // `format` says which
        Companion,   // an AppleDouble "._" file, read together with its data file
        // an AppleDouble "._" file beside a folder: the folder's own information (command
        // line only)
        FolderInformation,
        Nothing,     // none of the known formats
        CannotOpen,  // `detail` says why
        ReadFailed,  // a read of the source or of the "._" file beside it failed; `detail` says why
    };
    Verdict verdict = Verdict::Nothing;
    Format format = Format::Auto;
    std::string detail;
    // A source recognised by its first bytes alone stays open for the import, unbuffered and
    // not yet read through its stream, so that it is opened once; with the bytes read of it
    // (the whole of a small source) and its size.
    CStream source;
    std::unique_ptr<std::uint8_t[]> head;
    std::size_t headLength = 0;
    std::uint64_t size = 0;
};

// How much of a source a probe reads in one go: the first 128 bytes decide its format, and a
// small source is read whole, so that an import that takes it over copies its forks from
// memory instead of reading the file again.
constexpr std::size_t kProbeReadSize = 64 * 1024;

// The folder whose own information the companion at `nativePath` is ("._NAME" beside a
// folder NAME, not a link to one; with every variant "%NAME" and "NAME.rsrc" too), or nullopt.
std::optional<std::string> FolderOfCompanion(const std::string& nativePath,
                                             const ProbeRules& rules = {});

// Looks at the file at `nativePath` (an absolute path, or one relative to the current
// folder) and tells what it is: an AppleDouble "._" file first, then each format's probe,
// cheapest first.
Probe ProbeSource(const std::string& nativePath, const ProbeRules& rules = {});

}  // namespace formats

}  // namespace veskar
