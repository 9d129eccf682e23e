// SPDX-License-Identifier: Apache-2.0
// The command line's options. One table, sorted by long name, drives both the parser and the
// option lines of --help, so the two cannot drift apart.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/formats.h"
#include "core/layouts.h"

namespace veskar {

namespace cli {

using formats::Format;

constexpr std::string_view kProgram = "veskar-convert";

enum class OptionId {
    CopyOthers,
    DryRun,
    Format,
    Help,
    ImageSize,
    Info,
    Json,
    Layout,
    Quiet,
    Recursive,
    SkipExisting,
    Strict,
    Sync,
    Verify,
    Version,
    VolumeName
};

struct OptionRow {
    OptionId id;
    char shortName;             // '\0' when there is none
    std::string_view longName;  // without the leading "--"
    std::string_view argument;  // the argument's name in --help; empty when it takes none
    std::string_view help;      // '\n' starts a continuation line
};

const std::array<OptionRow, 16>& OptionTable();

struct Options {
    Format format = Format::Auto;
    Layout layout = Layout::Sfm;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;          // say what would be written, write nothing
    bool recursive = false;       // a folder source stands for every file below it
    bool strict = false;          // the window's BinHex probe, start of the data, names and record
    bool sync = false;            // each output on the disk before it is reported
    bool verify = false;          // refuse sources whose check values are wrong, read outputs back
    bool skipExisting = false;    // pass over sources whose output is there already
    bool copyOthers = false;      // under -r, files that are not Mac files copied as they are
    bool info = false;            // describe each source, write nothing: no target folder
    bool help = false;            // --help was given: nothing else was looked at after it
    bool version = false;         // likewise for --version
    std::uint64_t imageSize = 0;  // a new HFS image's bytes; 0: the default
    std::string volumeName;       // a new HFS image's volume name; empty: the image's name
    std::string target;           // empty with --info
    std::vector<std::string> sources;
};

struct Parsed {
    Options options;
    std::string error;  // one line for people; empty when the arguments are usable
};

// Reads the arguments after the program name. Options and operands may be mixed; "--" ends
// the options, and a lone "-" is an operand.
Parsed ParseArguments(std::span<const std::string_view> arguments);

std::string HelpText();

}  // namespace cli

}  // namespace veskar
