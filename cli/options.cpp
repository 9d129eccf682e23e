// SPDX-License-Identifier: Apache-2.0
#include "cli/options.h"

#include <algorithm>

#include "core/common/import_result.h"

namespace veskar {

namespace cli {

namespace {

// The server layouts keep names in UTF-8 and Finder information in Linux's attributes.
#ifdef _WIN32
constexpr bool kServerLayoutsWritten = false;
#else
constexpr bool kServerLayoutsWritten = true;
#endif

constexpr std::array<OptionRow, 12> kOptions{{
    {OptionId::DryRun, 'n', "dry-run", "",
     "say what would be written (name, fork sizes, type and\n"
     "creator) and write nothing"},
    {OptionId::Format, 'f', "format", "FORMAT",
     "the sources' format: auto (the default) or one of\n"
     "those under Formats below"},
    {OptionId::Help, 'h', "help", "", "print this help and exit"},
    {OptionId::Json, '\0', "json", "", "print one JSON object per source instead of text"},
    {OptionId::Layout, 'l', "layout", "LAYOUT",
     "how the outputs keep forks and Finder information:\n"
     "one of those under Layouts below (sfm the default)"},
    {OptionId::Quiet, 'q', "quiet", "",
     "print nothing for sources that went well, no progress\n"
     "and no summary"},
    {OptionId::Recursive, 'r', "recursive", "",
     "convert every file below a folder given as SOURCE,\n"
     "keeping its folders"},
    {OptionId::SkipExisting, '\0', "skip-existing", "",
     "pass over a source whose output name is taken in the\n"
     "target (with --verify: only when what is there reads\n"
     "back as the source), to resume an interrupted run"},
    {OptionId::Strict, '\0', "strict", "",
     "do as the window does: find BinHex by its identification\n"
     "line within 128 bytes, decode from the first colon, keep\n"
     "BinHex and MacBinary names as they stand and write only\n"
     "the type and creator (sfm layout only)"},
    {OptionId::Sync, '\0', "sync", "",
     "write each output to the disk before it is reported\n"
     "(a run's outputs are on the disk when it ends anyway)"},
    {OptionId::Verify, '\0', "verify", "",
     "check the CRC-16 values of BinHex and MacBinary II/III\n"
     "first (convert nothing whose values are wrong), and read\n"
     "each output back through its layout: one that differs\n"
     "from its source fails and is removed"},
    {OptionId::Version, '\0', "version", "", "print the version and exit"},
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

// "  word  code  message", the codes lined up on their last digit.
std::string ResultLine(std::string_view word, int code, std::string_view message) {
    std::string line = "  " + std::string(word);
    const std::string number = std::to_string(code);
    line.resize(kHelpColumn + 2 - number.size(), ' ');
    return line + number + "  " + std::string(message) + "\n";
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

const std::array<OptionRow, 12>& OptionTable() {
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
    if (parsed.options.strict && formats::IsLayout(parsed.options.format))
        return fail("--strict reads what the window reads, the four formats: it takes no -f " +
                    std::string(formats::RowOf(parsed.options.format).word));
    if (parsed.options.strict && layout != Layout::Sfm)
        return fail(
            "--strict writes what the window writes, NTFS named streams: it takes no --layout " +
            std::string(LayoutRowOf(layout).word));
    if (!kServerLayoutsWritten && layout != Layout::Sfm)
        return fail("--layout " + std::string(LayoutRowOf(layout).word) +
                    " is written on Linux, where Samba and netatalk serve it; here use sfm");
    if (operands.empty()) return fail("missing TARGET_FOLDER and SOURCE");
    if (operands.size() == 1) return fail("missing SOURCE after TARGET_FOLDER");
    parsed.options.target = operands.front();
    parsed.options.sources.assign(operands.begin() + 1, operands.end());
    return parsed;
}

std::string HelpText() {
    std::string text;
    text += "Usage: ";
    text += kProgram;
    text += " [OPTION]... TARGET_FOLDER SOURCE...\n";
    text +=
        "Converts classic Macintosh files into TARGET_FOLDER in the layout a Mac file\n"
        "server reads. The default, sfm, writes NTFS files: the data fork in the file\n"
        "itself, the resource fork in its named stream AFP_Resource and the Finder\n"
        "information in AFP_AfpInfo; TARGET_FOLDER must then be on a volume that holds\n"
        "NTFS named streams (on Linux, mount it with\n"
        "'ntfs-3g -o streams_interface=windows').\n"
        "\nOptions:\n";

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

    text += "\nFormats (--format):\n";
    for (const auto& row : formats::Formats())
        if (row.import) text += TableLine(row.word, row.title, kTableColumn);
    text +=
        "A layout's word reads files as that server keeps them; with -r a whole tree,\n"
        "folders and plain files too, to move a server from one layout to another\n"
        "(veskar-convert -r -f netatalk2 -l fruit --verify NEW_FOLDER OLD_FOLDER).\n";
    text += "\nLayouts (--layout; all but sfm on Linux only):\n";
    for (const auto& row : Layouts())
        text += TableLine(row.word, row.help, kTableColumn);
    text +=
        "fruit and streams-xattr need a file system with user extended attributes.\n"
        "Outputs are named with the Macintosh name as the Mac showed it: in sfm in\n"
        "code page 1252, in the other layouts in UTF-8 as a Mac client stores names\n"
        "through Samba (characters Windows refuses in Unicode's private range). No\n"
        "name is ever overwritten, nor a \"._\" file; a taken one gets a code such as\n"
        "\"Name.001\". The Finder information is written whole (type, creator, flags,\n"
        "extended flags), without what belonged to the source's desktop (the icon's\n"
        "place, on-desk and has-been-inited flags, the put-away folder). With --strict\n"
        "BinHex and MacBinary names stay as they stand and the record carries only\n"
        "the type and creator, as the window writes them.\n"
        "\nAn AppleDouble file is a pair: give the data file; its header file beside it,\n"
        "named \"._\" and the data file's name (else \"%\" and the name, else the name\n"
        "and \".rsrc\", as other tools name it), is read with it. With -f appledouble a\n"
        "source whose name begins with \"._\" is skipped as such a header file. The\n"
        "data file is the data fork whole, whatever length the header states for it.\n"
        "\nBesides the forks and the Finder information, the dates (created, modified,\n"
        "backed up), the Finder comment and macOS's extended attributes are read from\n"
        "every format that carries them (MacBinary's dates count from 1904 in the\n"
        "Mac's local time, taken as UTC) and written where the layout keeps them: the\n"
        "modification date as every output file's modification time; sfm: the NTFS\n"
        "creation time and a named stream per attribute; fruit and streams-xattr:\n"
        "Samba's creation time record and stream attribute per extended attribute,\n"
        "fruit also netatalk's dates and comment; appledouble: the attributes in the\n"
        "._ file, as macOS writes it. An attribute a layout cannot name is left out\n"
        "with a warning on standard error. Names in UTF-8 (as macOS's tools write\n"
        "them) and little-endian AppleSingle and AppleDouble files are read too.\n"
        "Outputs take the Macintosh name the file carries, else the source's own name.\n"
        "\nIn auto mode each source's format is recognised from its contents: MacBinary\n"
        "by its header, AppleSingle by its magic number, BinHex 4.0 by its\n"
        "identification line within its first 64 KiB (128 bytes with --strict), a data\n"
        "file as AppleDouble by its \"._\" header file. A source whose name begins with\n"
        "\"._\" and that is an AppleDouble header file is skipped in the same way.\n"
        "BinHex texts are decoded from the first colon that begins a line after the\n"
        "identification line, so mail and news headers before it do no harm, to the\n"
        "closing colon, in one pass straight into the output; with --strict, from the\n"
        "first colon of the text to its end, through intermediate files, as the\n"
        "window does.\n"
        "\nWith -r, a folder SOURCE stands for every file below it, each converted in\n"
        "auto mode into the same folders below TARGET_FOLDER (created when missing,\n"
        "their names made safe as file names are). A folder's own information (its\n"
        "\"._\" header file beside it or under \"__MACOSX\") is written onto the folder\n"
        "in TARGET_FOLDER when this run makes it (folder-information), and the\n"
        "folder's dates are set when the run ends. An AppleDouble data file there\n"
        "also finds its \"._\" header file under a \"__MACOSX\" folder above it, where\n"
        "an unpacked zip archive keeps it; everything under \"__MACOSX\" is skipped\n"
        "as a header file. Symbolic links below a folder SOURCE are not followed:\n"
        "each is reported as link-skipped. A link named as a SOURCE is followed.\n"
        "Without -r a folder SOURCE fails.\n"
        "\nWith --verify, the three CRC-16 values of a BinHex file (header, data fork,\n"
        "resource fork) and the header CRC of a MacBinary II or III file are checked;\n"
        "a source whose values are wrong is reported as check-failed and a truncated\n"
        "source of any format as truncated, with nothing of either left (a BinHex\n"
        "output, written as it is decoded, is taken back).\n"
        "\nOn a terminal, standard error shows one line of progress (files and bytes\n"
        "done, rate) while a batch runs; a batch of more than one source ends with a\n"
        "summary line there: converted, failed by reason, skipped, bytes written.\n"
        "\nOutput: a line 'SOURCE -> OUTPUT' on standard output for each converted\n"
        "source, OUTPUT being the path written below TARGET_FOLDER, and a line\n"
        "'veskar-convert: SOURCE: reason' on standard error for each failed one.\n"
        "With --json, standard output carries one object per source instead:\n"
        "  {\"source\": \"...\", \"result\": \"converted\", \"code\": 1, \"output\": \"Name\"}\n"
        "\"output\" is present when converted and for a truncated source whose output\n"
        "was written, \"detail\" when there is more to say.\n"
        "With --dry-run the lines end in what would be written, for instance\n"
        "'SOURCE -> OUTPUT (data 300, resource 0, TEXT/ttxt)', and the objects carry\n"
        "\"dry_run\": true, \"data_bytes\", \"resource_bytes\", \"type\", \"creator\" and\n"
        "\"finder_flags\" (four hexadecimal digits).\n"
        "Objects with an output carry what the file holds besides its forks, when it\n"
        "has it: \"created\", \"modified\", \"backed_up\" (ISO 8601, UTC),\n"
        "\"comment_bytes\", \"attributes\" (the names), \"folder\": true for a folder's\n"
        "information; \"warnings\" lists what was left out of an output.\n"
        "The results and their codes:\n";
    constexpr std::array<ImportResult, 9> kReported{
        ImportResult::Converted,  ImportResult::NotBinHex,   ImportResult::CannotOpen,
        ImportResult::WrongKind,  ImportResult::WriteFailed, ImportResult::CheckFailed,
        ImportResult::ReadFailed, ImportResult::Truncated,   ImportResult::VerifyFailed};
    for (const ImportResult result : kReported) {
        const auto& described = DescribeResult(result);
        text += ResultLine(described.word, static_cast<int>(result), described.message);
    }
    text +=
        ResultLine("companion-skipped", 0, "an AppleDouble \"._\" file, read with its data file");
    text += ResultLine("link-skipped", 0, "a symbolic link below a folder, not followed");
    text += ResultLine("exists", 0, "its output is there already (--skip-existing)");
    text += ResultLine("folder-information", 1, "a folder's own information, written onto it");
    text += ResultLine("folder-skipped", 0, "a folder's information, kept off a folder there");
    text +=
        "Codes are those of the import; \"result\" tells apart those that share one.\n"
        "A truncated source (one that ends before a fork, an entry or its header does)\n"
        "has what it holds written all the same, and fails; a source whose read fails\n"
        "part-way (read-failed) leaves nothing behind.\n"
        "-q leaves out the lines of converted and skipped sources, the progress and\n"
        "the summary.\n"
        "\nExit status: 0 when every source was converted (or skipped as a companion,\n"
        "a link or a folder's information),\n"
        "1 when at least one failed, 2 for bad usage or an unusable TARGET_FOLDER.\n";
    return text;
}

}  // namespace cli

}  // namespace veskar
