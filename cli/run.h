// SPDX-License-Identifier: Apache-2.0
// One run of the command line, from its arguments to its exit status.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/report.h"
#include "core/stored_import.h"

namespace veskar {

namespace formats {
struct Probe;
}

namespace cli {

constexpr int kExitConverted = 0;  // every source converted, or skipped (a companion, a link)
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;  // bad usage, or a target folder that cannot take the outputs

// `arguments` leaves out the program name. `errIsTerminal` says whether `err` is a terminal,
// which alone shows the progress display.
int Run(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
        bool errIsTerminal = false);

// `path` made absolute against the folder `base`; an absolute path, or any path when `base`
// is empty, comes back as it is.
std::string AbsolutePath(std::string_view path, std::string_view base);

struct Options;
struct Job;

// How one source is converted: the options that reach the imports.
struct Conversion {
    Format format = Format::Auto;
    Layout layout = Layout::Sfm;
    bool strict = false;  // the window's probe, start, names and record (the sfm layout only)
    bool verify = false;
    DryRun dryRun = DryRun::Off;
    std::string companion;  // the AppleDouble companion; empty for the one beside
    // A tree read in a server's layout (-r with a layout's word, or appledouble): every file as
    // the layout keeps it, a file without Mac information copied as it is.
    bool layoutTree = false;
    // The layout each output is read back in (--verify); none with --strict.
    std::optional<StoredLayout> readBack = std::nullopt;
    bool skipExisting = false;
};

// The layout the readers know an output of `layout` by.
StoredLayout StoredLayoutOf(Layout layout);

// The layout a tree of `format` is read in, when -r reads it as one.
std::optional<StoredLayout> TreeLayoutOf(Format format, bool recursive);

// Converts one source (an absolute path) into the target folder (an absolute path) with the
// chosen format, probing it first in auto mode, or taking over `probed` when given (the probe
// of this source with these options, made beforehand). `given` is the source as the user
// wrote it.
SourceOutcome ConvertSource(const Conversion& how, const std::string& target,
                            const std::string& source, std::string_view given,
                            formats::Probe* probed = nullptr);
SourceOutcome ConvertSource(Format format, const std::string& target, const std::string& source,
                            std::string_view given);

}  // namespace cli

}  // namespace veskar
