// SPDX-License-Identifier: Apache-2.0
#include "cli/options.h"

#include <algorithm>

#include "core/common/import_result.h"
#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace cli {

namespace {

// The server layouts keep names in UTF-8 and Finder information in Linux's attributes.
#ifdef _WIN32
constexpr bool kServerLayoutsWritten = false;
#else
constexpr bool kServerLayoutsWritten = true;
#endif

constexpr std::array<OptionRow, 16> kOptions{{
    {OptionId::CopyOthers, '\0', "copy-others", "",
     "with -r, copy the files that are not Mac files too"},
    {OptionId::DryRun, 'n', "dry-run", "", "say what would be written, write nothing"},
    {OptionId::Format, 'f', "format", "FORMAT", "the sources' format (below); auto by default"},
    {OptionId::Help, 'h', "help", "", "print this help and exit"},
    {OptionId::ImageSize, '\0', "image-size", "SIZE",
     "a new HFS image's size: 800K, 1440K, ... 2G (20M)"},
    {OptionId::Info, '\0', "info", "",
     "describe each SOURCE and write nothing (no\n"
     "TARGET_FOLDER): type, creator, flags, dates, forks"},
    {OptionId::Json, '\0', "json", "", "print one JSON object per source instead of text"},
    {OptionId::Layout, 'l', "layout", "LAYOUT", "how the outputs keep their forks (below)"},
    {OptionId::Quiet, 'q', "quiet", "", "print only failures: no progress, no summary"},
    {OptionId::Recursive, 'r', "recursive", "",
     "convert every file below a folder SOURCE, keeping\n"
     "its folders"},
    {OptionId::SkipExisting, '\0', "skip-existing", "",
     "pass over a source whose output is there already,\n"
     "to resume an interrupted run"},
    {OptionId::Strict, '\0', "strict", "", "do as the window does (sfm, the four formats)"},
    {OptionId::Sync, '\0', "sync", "", "write each output to the disk before it is reported"},
    {OptionId::Verify, '\0', "verify", "",
     "check the sources' CRCs first and read each output\n"
     "back: one that differs fails and is removed"},
    {OptionId::Version, '\0', "version", "", "print the version and exit"},
    {OptionId::VolumeName, '\0', "volume-name", "NAME",
     "a new HFS image's volume name (the image's name)"},
}};

static_assert(std::is_sorted(kOptions.begin(), kOptions.end(),
                             [](const OptionRow& a, const OptionRow& b) {
                                 return a.longName < b.longName;
                             }),
              "the option table is kept sorted by long name");

constexpr std::size_t kHelpColumn = 24;   // where the explanations start in --help
constexpr std::size_t kTableColumn = 17;  // and in its lists of formats and layouts

const OptionRow* FindLong(std::string_view name) {
    for (const auto& row : kOptions)
        if (row.longName == name) return &row;
    return nullptr;
}

const OptionRow* FindShort(char name) {
    for (const auto& row : kOptions)
        if (row.shortName != '\0' && row.shortName == name) return &row;
    return nullptr;
}

// "  word  text", the text wrapped at 80 columns, its continuation lines under its start.
std::string TableLine(std::string_view word, std::string_view text, std::size_t column) {
    constexpr std::size_t kWidth = 80;
    std::string lines;
    std::string line = "  " + std::string(word);
    line.resize(std::max(line.size() + 2, column), ' ');
    while (!text.empty()) {
        std::size_t room = kWidth - line.size();
        std::size_t cut = text.size();
        if (cut > room) {
            cut = text.rfind(' ', room);
            if (cut == std::string_view::npos || cut == 0) cut = text.find(' ');
            if (cut == std::string_view::npos) cut = text.size();
        }
        line += text.substr(0, cut);
        lines += line + "\n";
        text.remove_prefix(std::min(text.size(), cut + 1));
        line.assign(column, ' ');
    }
    return lines;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// Applies one option; false (with `parsed.error` set) when its argument is unusable.
bool Apply(const OptionRow& row, std::string_view argument, Parsed& parsed) {
    Options& options = parsed.options;
    switch (row.id) {
        case OptionId::Format: {
            const auto format = formats::FormatFromWord(argument);
            if (!format) {
                parsed.error = "unknown format " + Quoted(argument) + " (one of " +
                               formats::FormatWords() + ")";
                return false;
            }
            options.format = *format;
            return true;
        }
        case OptionId::Layout: {
            const auto layout = LayoutFromWord(argument);
            if (!layout) {
                parsed.error =
                    "unknown layout " + Quoted(argument) + " (one of " + LayoutWords() + ")";
                return false;
            }
            options.layout = *layout;
            return true;
        }
        case OptionId::DryRun:
            options.dryRun = true;
            return true;
        case OptionId::Recursive:
            options.recursive = true;
            return true;
        case OptionId::Strict:
            options.strict = true;
            return true;
        case OptionId::Sync:
            options.sync = true;
            return true;
        case OptionId::Verify:
            options.verify = true;
            return true;
        case OptionId::SkipExisting:
            options.skipExisting = true;
            return true;
        case OptionId::ImageSize: {
            const auto bytes = hfs::ImageSizeFromText(argument);
            if (!bytes) {
                parsed.error = "unknown image size " + Quoted(argument) +
                               " (800K, 1440K, 20M, ... up to 2G, a multiple of 512 bytes)";
                return false;
            }
            options.imageSize = *bytes;
            return true;
        }
        case OptionId::VolumeName:
            if (argument.empty() || argument.find(':') != std::string_view::npos) {
                parsed.error =
                    "unusable volume name " + Quoted(argument) + " (1 to 27 characters, no ':')";
                return false;
            }
            options.volumeName = argument;
            return true;
        case OptionId::CopyOthers:
            options.copyOthers = true;
            return true;
        case OptionId::Info:
            options.info = true;
            return true;
        case OptionId::Help:
            options.help = true;
            return true;
        case OptionId::Json:
            options.json = true;
            return true;
        case OptionId::Quiet:
            options.quiet = true;
            return true;
        case OptionId::Version:
            options.version = true;
            return true;
    }
    return true;
}

}  // namespace

const std::array<OptionRow, 16>& OptionTable() {
    return kOptions;
}

Parsed ParseArguments(std::span<const std::string_view> arguments) {
    Parsed parsed;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    auto fail = [&parsed](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view word = arguments[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            operands.emplace_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word.starts_with("--")) {
            const std::string_view body = word.substr(2);
            const std::size_t equals = body.find('=');
            const std::string_view name = body.substr(0, equals);
            const OptionRow* row = FindLong(name);
            if (!row) return fail("unknown option " + Quoted(word.substr(0, 2 + name.size())));
            std::string_view argument;
            if (row->argument.empty()) {
                if (equals != std::string_view::npos)
                    return fail("option '--" + std::string(name) + "' takes no argument");
            } else if (equals != std::string_view::npos) {
                argument = body.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                argument = arguments[++i];
            } else {
                return fail("option '--" + std::string(name) + "' needs an argument");
            }
            if (!Apply(*row, argument, parsed)) return parsed;
        } else {
            // A cluster of short options; one that takes an argument ends it and takes the
            // rest of the word, or the next word.
            for (std::size_t at = 1; at < word.size(); ++at) {
                const OptionRow* row = FindShort(word[at]);
                if (!row) return fail("unknown option " + Quoted(std::string{'-', word[at]}));
                std::string_view argument;
                if (!row->argument.empty()) {
                    if (at + 1 < word.size())
                        argument = word.substr(at + 1);
                    else if (i + 1 < arguments.size())
                        argument = arguments[++i];
                    else
                        return fail("option '-" + std::string{word[at]} + "' needs an argument");
                    at = word.size();
                }
                if (!Apply(*row, argument, parsed)) return parsed;
            }
        }
        if (parsed.options.help || parsed.options.version) return parsed;
    }

    const Layout layout = parsed.options.layout;
    if (parsed.options.strict &&
        (formats::IsLayout(parsed.options.format) || parsed.options.format == Format::Hfs))
        return fail("--strict reads what the window reads, the four formats: it takes no -f " +
                    std::string(formats::RowOf(parsed.options.format).word));
    if (parsed.options.strict && layout != Layout::Sfm)
        return fail(
            "--strict writes what the window writes, NTFS named streams: it takes no --layout " +
            std::string(LayoutRowOf(layout).word));
    if ((parsed.options.imageSize != 0 || !parsed.options.volumeName.empty()) &&
        layout != Layout::Hfs)
        return fail("--image-size and --volume-name make an HFS image: they go with --layout hfs");
    if (layout == Layout::Hfs && parsed.options.skipExisting)
        return fail("--skip-existing resumes a run into a folder: it takes no --layout hfs");
    if (!kServerLayoutsWritten && layout != Layout::Sfm)
        return fail("--layout " + std::string(LayoutRowOf(layout).word) +
                    " is written on Linux, where Samba and netatalk serve it; here use sfm");
    if (parsed.options.info) {
        if (operands.empty()) return fail("missing SOURCE after --info");
        parsed.options.sources = std::move(operands);
        return parsed;
    }
    if (parsed.options.strict && parsed.options.copyOthers)
        return fail("--strict converts what the window converts: it takes no --copy-others");
    if (parsed.options.copyOthers && !parsed.options.recursive)
        return fail("--copy-others copies the other files of a folder: it needs -r");
    if (operands.empty()) return fail("missing TARGET_FOLDER and SOURCE");
    if (operands.size() == 1) return fail("missing SOURCE after TARGET_FOLDER");
    parsed.options.target = operands.front();
    parsed.options.sources.assign(operands.begin() + 1, operands.end());
    return parsed;
}

std::string HelpText() {
    const std::string program(kProgram);
    std::string text = "Usage: " + program + " [OPTION]... TARGET_FOLDER SOURCE...\n" + "       " +
                       program + " --info [-r] [--json] SOURCE...\n" + "       " + program +
                       " --layout hfs [--image-size SIZE] IMAGE SOURCE...\n";
    text +=
        "Converts classic Macintosh files (BinHex, MacBinary, AppleSingle, AppleDouble)\n"
        "into TARGET_FOLDER, made when missing, in the layout a Mac file server reads.\n"
        "Nothing is overwritten: a name taken gets a number (Name.001).\n"
        "\nExamples:\n";
    for (const auto& [command, what] : {
             std::pair{" /mnt/ntfs/Mac 'Icon Tool.hqx'", "one file, onto NTFS"},
             std::pair{" -r /mnt/ntfs/Share ~/mac", "a folder, for a Windows share"},
             std::pair{" -r -l fruit /srv/macfiles ~/mac", "a folder, for Samba"},
         }) {
        std::string line = "  " + program + command;
        line.resize(std::max(line.size() + 2, std::size_t{50}), ' ');
        text += line + what + "\n";
    }
    text += "\nOptions:\n";
    for (const auto& row : kOptions) {
        std::string line = "  ";
        line += row.shortName != '\0' ? std::string{'-', row.shortName, ',', ' '} : "    ";
        line += "--";
        line += row.longName;
        if (!row.argument.empty()) {
            line += ' ';
            line += row.argument;
        }
        line.resize(std::max(line.size() + 2, kHelpColumn), ' ');
        std::string_view help = row.help;
        for (;;) {
            const std::size_t end = help.find('\n');
            line += help.substr(0, end);
            text += line + "\n";
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
            line.assign(kHelpColumn, ' ');
        }
    }

    text += "\nFormats (--format; auto recognises each source by its contents):\n";
    for (const auto& row : formats::Formats())
        if (row.import) text += TableLine(row.word, row.title, kTableColumn);
    text += "\nLayouts (--layout; all but sfm on Linux only):\n";
    for (const auto& row : Layouts())
        text += TableLine(row.word, row.summary, kTableColumn);
    text +=
        "\nExit status: 0 when every source was converted or skipped, 1 when one failed,\n"
        "2 for bad usage or an unusable TARGET_FOLDER. More: man " +
        program + "\n";
    return text;
}

}  // namespace cli

}  // namespace veskar
