// SPDX-License-Identifier: Apache-2.0
// The command line veskar-convert: its pieces directly, and the built program run as a user
// runs it, against a real NTFS volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "cli/options.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/run.h"
#include "core/formats.h"
#include "core/layouts.h"
#include "core/read/appledouble.h"
#include "core/read/binhex/binhex_staging.h"
#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"
#include "veskar_version.h"

namespace veskar {

namespace {

using CliRun = ProgramRun;

// Runs the built program in `folder` (the test's own when empty).
CliRun RunCli(const std::vector<std::string>& args, const std::string& folder = "") {
    return RunProgram(VESKAR_CONVERT_PATH, args, folder);
}

MacFile Fixture(const std::string& name, const std::string& type, std::size_t dataBytes,
                std::size_t resourceBytes) {
    MacFile file;
    file.name = name;
    file.type = type;
    file.creator = "VSKR";
    file.data = PatternBytes(dataBytes, 3);
    file.resource = PatternBytes(resourceBytes, 4);
    return file;
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// --- Usage --------------------------------------------------------------------------------

struct UsageCase {
    std::vector<std::string> args;
    const char* complaint;
};

TEST(CliUsage, BadUsageExitsTwoWithOneLineAndAHint) {
    const UsageCase cases[] = {
        {{}, "missing TARGET_FOLDER and SOURCE"},
        {{"/tmp"}, "missing SOURCE after TARGET_FOLDER"},
        {{"-x", "a", "b"}, "unknown option '-x'"},
        {{"--frobnicate", "a", "b"}, "unknown option '--frobnicate'"},
        {{"a", "b", "-f"}, "option '-f' needs an argument"},
        {{"--format=tiff", "a", "b"}, "unknown format 'tiff'"},
        {{"--json=yes", "a", "b"}, "option '--json' takes no argument"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.status, 2) << c.complaint;
        EXPECT_EQ(run.out, "");
        // One line that begins with the complaint, then the hint.
        EXPECT_TRUE(run.err.starts_with(std::string("veskar-convert: ") + c.complaint)) << run.err;
        EXPECT_TRUE(run.err.ends_with("\ntry 'veskar-convert --help'\n")) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
    }
}

TEST(CliUsage, HelpAndVersion) {
    for (const char* help : {"-h", "--help"}) {
        const CliRun run = RunCli({help});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, cli::HelpText());
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(RunCli({"--version"}).out, "veskar-convert " VESKAR_VERSION "\n");
}

TEST(CliUsage, OptionTableIsSortedAndAgreesWithHelp) {
    const auto& table = cli::OptionTable();
    std::istringstream help(cli::HelpText());
    std::vector<std::string> optionLines;
    for (std::string line; std::getline(help, line);)
        if (line.starts_with("  -") || line.starts_with("      --")) optionLines.push_back(line);
    ASSERT_EQ(optionLines.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& row = table[i];
        if (i > 0) {
            EXPECT_LT(table[i - 1].longName, row.longName);
        }
        std::string expected =
            row.shortName ? std::string{' ', ' ', '-', row.shortName, ','} : std::string(5, ' ');
        expected += " --" + std::string(row.longName);
        EXPECT_TRUE(optionLines[i].starts_with(expected)) << optionLines[i];
        // Both spellings parse, with an argument where the option takes one.
        for (std::string spelling : {"--" + std::string(row.longName),
                                     row.shortName ? std::string{'-', row.shortName} : ""}) {
            if (spelling.empty()) continue;
            std::vector<std::string_view> args{spelling};
            const bool image =
                row.id == cli::OptionId::ImageSize || row.id == cli::OptionId::VolumeName;
#ifdef _WIN32
            if (image) continue;  // HFS images are written by the Linux build
#endif
            if (!row.argument.empty())
                args.push_back(row.id == cli::OptionId::Layout ? "sfm"
                               : image                         ? "800K"
                                                               : "macbinary");
            if (image) args.insert(args.end(), {"-l", "hfs"});
            args.insert(args.end(), {"-r", "target", "source"});
            EXPECT_EQ(cli::ParseArguments(args).error, "") << spelling;
        }
    }
}

// The man page lists the option table's options, each with its short name, and no others.
TEST(CliUsage, ManPageListsTheOptionsOfTheTable) {
    if (std::string_view(VESKAR_MAN_PAGE).empty())
        GTEST_SKIP() << "a cross build makes no man page";
    std::ifstream page(VESKAR_MAN_PAGE);
    ASSERT_TRUE(page) << "no man page";
    std::vector<std::string> listed;  // "-q --quiet" or "--json", from the line after .TP
    bool afterTp = false;
    bool inOptions = false;
    for (std::string line; std::getline(page, line);) {
        if (line.starts_with(".SH")) inOptions = line == ".SH OPTIONS";
        if (afterTp && inOptions) {
            std::string names;
            for (std::size_t at = 0; (at = line.find("\\-", at)) != std::string::npos;) {
                std::size_t end = at;
                std::string name;
                while (end < line.size() && (line.compare(end, 2, "\\-") == 0 ||
                                             std::isalnum(static_cast<unsigned char>(line[end])))) {
                    if (line.compare(end, 2, "\\-") == 0) {
                        name += '-';
                        end += 2;
                    } else {
                        name += line[end++];
                    }
                }
                names += (names.empty() ? "" : " ") + name;
                at = end;
            }
            listed.push_back(names);
        }
        afterTp = line == ".TP";
    }
    std::vector<std::string> expected;
    for (const auto& row : cli::OptionTable())
        expected.push_back((row.shortName ? std::string{'-', row.shortName, ' '} : "") + "--" +
                           std::string(row.longName));
    EXPECT_EQ(listed, expected);
}

// --help and the man page list the formats and the layouts of the tables, in their order:
// neither can drift from what the program takes.
TEST(CliUsage, HelpAndManPageListTheFormatsAndLayoutsOfTheTables) {
    std::vector<std::string> formatWords, layoutWords;
    for (const auto& row : formats::Formats())
        if (row.import) formatWords.emplace_back(row.word);
    for (const auto& row : Layouts()) {
        layoutWords.emplace_back(row.word);
        EXPECT_EQ(row.needs, row.writer().Needs()) << row.word;
    }
    // The words at the start of each list's lines, in one section of a text.
    auto listed = [](std::istream& text, std::string_view heading, std::string_view entry) {
        std::vector<std::string> words;
        bool in = false;
        for (std::string line; std::getline(text, line);) {
            if (line.starts_with(heading))
                in = true;
            else if (in && (line.empty() || line.starts_with(".SH")))
                break;
            else if (in && line.starts_with(entry)) {
                std::string word =
                    line.substr(entry.size(), line.find(' ', entry.size()) - entry.size());
                for (std::size_t at; (at = word.find("\\-")) != std::string::npos;)
                    word.erase(at, 1);
                if (!word.empty()) words.push_back(word);  // not a continuation line
            }
        }
        return words;
    };
    std::istringstream helpFormats(cli::HelpText()), helpLayouts(cli::HelpText());
    EXPECT_EQ(listed(helpFormats, "Formats (--format", "  "), formatWords);
    EXPECT_EQ(listed(helpLayouts, "Layouts (--layout", "  "), layoutWords);
    EXPECT_EQ(cli::ParseArguments(std::vector<std::string_view>{"-l", "x", "t", "s"}).error,
              "unknown layout 'x' (one of sfm, fruit, appledouble, streams-xattr, netatalk2, "
              "macbinary, applesingle, binhex, hfs)");
    if (std::string_view(VESKAR_MAN_PAGE).empty())
        GTEST_SKIP() << "a cross build makes no man page";
    std::ifstream manFormats(VESKAR_MAN_PAGE), manLayouts(VESKAR_MAN_PAGE);
    EXPECT_EQ(listed(manFormats, ".SH FORMATS", ".B "), formatWords);
    EXPECT_EQ(listed(manLayouts, ".SH LAYOUTS", ".B "), layoutWords);
}

TEST(CliUsage, OptionsMixWithOperandsUntilDoubleDash) {
    const std::vector<std::string_view> args{"-qfmacbinary", "t", "--json", "s1", "--", "-s2"};
    const cli::Parsed parsed = cli::ParseArguments(args);
    ASSERT_EQ(parsed.error, "");
    EXPECT_TRUE(parsed.options.quiet && parsed.options.json);
    EXPECT_EQ(parsed.options.format, formats::Format::MacBinary);
    EXPECT_EQ(parsed.options.target, "t");
    EXPECT_EQ(parsed.options.sources, (std::vector<std::string>{"s1", "-s2"}));
}

// --- Pieces -------------------------------------------------------------------------------

TEST(CliReport, JsonStringsAreAlwaysValid) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name", "\"plain name\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"tab\tnl\n\x01\x7f", "\"tab\\u0009nl\\u000a\\u0001\\u007f\""},
        {"R\xC3\xA9sum\xC3\xA9", "\"R\xC3\xA9sum\xC3\xA9\""},  // valid UTF-8 passes
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},          // so does a 4-byte one
        {"R\x8Esum\x8E", "\"R\\u008esum\\u008e\""},            // stray bytes
        {"cut \xC3", "\"cut \\u00c3\""},                       // truncated sequence
        {"\xC0\xAF \xED\xA0\x80",
         "\"\\u00c0\\u00af \\u00ed\\u00a0\\u0080\""},  // overlong, surrogate
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(cli::JsonString(text), json);
}

TEST(CliReport, LinesForEachKindOfOutcome) {
    using Skip = cli::SourceOutcome::Skip;
    cli::SourceOutcome converted{"in/R.bin", Skip::No, ImportResult::Converted, {}, false, {}};
    converted.report.outputName = "R\x8Esum\x8E";  // code page 1252: Z with caron
    EXPECT_EQ(cli::JsonLine(converted),
              "{\"source\": \"in/R.bin\", \"result\": \"converted\", "
              "\"code\": 1, \"output\": \"R\xC5\xBDsum\xC5\xBD\"}");
    // Text lines name the output as the system writes names (UTF-8 on Linux, code page 1252
    // on Windows); JSON is UTF-8 everywhere.
    EXPECT_EQ(cli::TextLine(converted), "in/R.bin -> " + platform::AnsiToNative("R\x8Esum\x8E"));
    const cli::SourceOutcome companion{"._x", Skip::Companion, ImportResult::WrongKind,
                                       {},    false,           {}};
    EXPECT_EQ(cli::JsonLine(companion),
              "{\"source\": \"._x\", \"result\": \"companion-skipped\", \"code\": 0}");
    cli::SourceOutcome failed{"t.txt", Skip::No, ImportResult::WrongKind, {}, false, {}};
    failed.report.detail = "why";
    EXPECT_EQ(
        cli::JsonLine(failed),
        "{\"source\": \"t.txt\", \"result\": \"wrong-kind\", \"code\": -2, \"detail\": \"why\"}");
    EXPECT_EQ(cli::DiagnosticLine(failed), "veskar-convert: t.txt: not a Mac file: why");
    // A name a Mac client's server keeps with the private range: on disk in JSON's "output",
    // as people read it in text and in "mac_name".
    cli::SourceOutcome served{"in/g.bin", Skip::No, ImportResult::Converted, {}, false, {}};
    served.report.outputName =
        "2.9-\xEF\x80\xA4"
        "2.10";  // ">" as a Mac client stores it
    served.report.nativeName = true;
    EXPECT_EQ(cli::TextLine(served), "in/g.bin -> 2.9->2.10");
    EXPECT_NE(cli::JsonLine(served).find(R"("mac_name": "2.9->2.10")"), std::string::npos);
    // A trial run's line: the type and creator, or that there are none.
    cli::SourceOutcome trial{"in/P.bin", Skip::No, ImportResult::Converted, {}, true, {}};
    trial.report.outputName = "P";
    EXPECT_EQ(cli::TextLine(trial), "in/P.bin -> P (data 0, resource 0, no type)");
    std::copy_n("TEXTttxt", 8, trial.report.typeCreator.begin());
    EXPECT_EQ(cli::TextLine(trial), "in/P.bin -> P (data 0, resource 0, TEXT/ttxt)");
}

TEST(CliPaths, CompanionSitsBesideItsDataFile) {
    EXPECT_EQ(AppleDoubleCompanionPath("/a/b/doc"), "/a/b/._doc");
    EXPECT_EQ(AppleDoubleCompanionPath("doc"), "._doc");
}

TEST(CliProbe, RecognisesEachFormat) {
    using V = formats::Probe::Verdict;
    using F = formats::Format;
    TempDir dir;
    const Bytes adMagic{0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00};
    // With --strict only the first 128 bytes count, as in the window's BinHex import: the
    // identification text may start at offset 85 and so end on the 128th byte; one byte
    // later it is not recognised. Otherwise the first 64 KiB count, before any zero byte.
    const std::string id(binhex::kIdentification);
    const std::string binhex = std::string(85, 'x') + id + ")\n:";
    const std::string binhexLate = std::string(86, 'x') + id + ")\n:";
    const std::string mailEnd = std::string(64 * 1024 - id.size(), 'x') + id + "\n:";
    const std::string pastMail = std::string(64 * 1024 - id.size() + 1, 'x') + id + "\n:";
    Bytes afterZero = BytesOf(std::string(200, 'x') + id + "\n:");
    afterZero[150] = 0;
    const struct {
        const char* name;
        Bytes bytes;
        V verdict;
        F format;
        V strictVerdict;  // with the window's probe
    } cases[] = {
        {"a.bin", EncodeMacBinary(Fixture("A", "TEXT", 10, 10)), V::Recognised, F::MacBinary,
         V::Recognised},
        {"._b.bin", EncodeMacBinary(Fixture("B", "TEXT", 10, 0)), V::Recognised, F::MacBinary,
         V::Recognised},
        {"single",
         {0x00, 0x05, 0x16, 0x00, 0x00, 0x02},
         V::Recognised,
         F::AppleSingle,
         V::Recognised},
        {"doc", BytesOf("data fork"), V::Recognised, F::AppleDouble, V::Recognised},
        {"._doc", adMagic, V::Companion, F::AppleDouble, V::Companion},
        // only a "._" name is a companion
        {"double-magic", adMagic, V::Nothing, F::Auto, V::Nothing},
        {"text.hqx", BytesOf(binhex), V::Recognised, F::BinHex, V::Recognised},
        // macOS leaves a "._" file beside a BinHex text too; the text still decides.
        {"paired.hqx", BytesOf("(" + id + ")\n:"), V::Recognised, F::BinHex, V::Recognised},
        {"._paired.hqx", adMagic, V::Companion, F::AppleDouble, V::Companion},
        {"late.hqx", BytesOf(binhexLate), V::Recognised, F::BinHex, V::Nothing},
        {"mail-end.hqx", BytesOf(mailEnd), V::Recognised, F::BinHex, V::Nothing},
        {"past-mail.hqx", BytesOf(pastMail), V::Nothing, F::Auto, V::Nothing},
        {"after-zero.hqx", afterZero, V::Nothing, F::Auto, V::Nothing},
        {"plain.txt", BytesOf("just text\n"), V::Nothing, F::Auto, V::Nothing},
        {"empty", {}, V::Nothing, F::Auto, V::Nothing},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(WriteFile(dir.File(c.name), c.bytes));
    for (const auto& c : cases) {
        for (const bool strict : {false, true}) {
            formats::ProbeRules rules;
            rules.strict = strict;
            const formats::Probe probe = formats::ProbeSource(dir.File(c.name), rules);
            EXPECT_EQ(probe.verdict, strict ? c.strictVerdict : c.verdict)
                << c.name << (strict ? " strict" : "");
            if (probe.verdict != V::Nothing) {
                EXPECT_EQ(probe.format, c.format) << c.name;
            }
        }
    }
    EXPECT_EQ(formats::ProbeSource(dir.File("missing")).verdict, V::CannotOpen);
}

// --- The program on real folders ------------------------------------------------------------

TEST(CliTarget, FolderWithoutNamedStreamsOrMissingIsRefused) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("a.bin"), EncodeMacBinary(Fixture("A", "TEXT", 5, 5))));
    CliRun run = RunCli({dir.Path(), dir.File("a.bin")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(
        run.err.starts_with("veskar-convert: " + dir.Path() + ": cannot hold NTFS named streams: "))
        << run.err;
    EXPECT_NE(run.err.find("ntfs-3g -o streams_interface=windows"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("A")));

    // A missing target is made, and taken back when it cannot take the outputs after all.
    run = RunCli({dir.File("nowhere/deeper"), dir.File("a.bin")});
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
    // A trial run into a missing target says it would be made, and names the outputs as in an
    // empty folder, the volume asked from the nearest folder there.
    run = RunCli({"--dry-run", dir.File("nowhere"), dir.File("a.bin")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.starts_with("veskar-convert: " + dir.File("nowhere") +
                                    ": cannot hold NTFS named streams"))
        << run.err;
#ifndef _WIN32  // the layouts without streams are written on Linux
    run = RunCli({"--dry-run", "-l", "appledouble", dir.File("nowhere/a"), dir.File("a.bin"),
                  dir.File("a.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, dir.File("a.bin") + " -> A (data 5, resource 5, TEXT/VSKR)\n" +
                           dir.File("a.bin") + " -> A.001 (data 5, resource 5, TEXT/VSKR)\n");
    EXPECT_TRUE(run.err.starts_with("veskar-convert: " + dir.File("nowhere/a") +
                                    ": would be made (a trial run makes nothing)\n"))
        << run.err;
#endif
    EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
    // The target named last, as cp takes it.
    run = RunCli({dir.File("a.bin"), dir.Path()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "veskar-convert: " + dir.File("a.bin") +
                           ": not a folder: TARGET_FOLDER comes first: veskar-convert "
                           "TARGET_FOLDER SOURCE...\n");
#ifndef _WIN32
    run = RunCli({"--layout", "appledouble", dir.File("made/here"), dir.File("a.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("made/here/A")));
#endif
}

TEST(CliNtfs, ConvertsWithJsonAndSkipsCompanions) {
    REQUIRE_NTFS(vol);
    TempDir src;
    const MacFile alpha = Fixture("Alpha", "TEXT", 300, 0);
    const MacFile beta = Fixture("Beta Tool", "APPL", 40, 700);
    ASSERT_TRUE(WriteFile(src.File("alpha.bin"), EncodeMacBinary(alpha)));
    ASSERT_TRUE(WriteFile(src.File("beta.bin"), EncodeMacBinary(beta)));
    ASSERT_TRUE(WriteFile(src.File("._beta.bin"), {0x00, 0x05, 0x16, 0x07, 0, 2, 0, 0}));

    const CliRun run = RunCli({"--json", vol->Root(), src.File("alpha.bin"), src.File("beta.bin"),
                               src.File("._beta.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "veskar-convert: 2 converted, 0 failed, 0 skipped, 1 companion read with its data "
              "file, 1040 bytes written\n");
    // Windows paths carry backslashes, which JSON escapes.
    const auto source = [&](const char* name) {
        return "{\"source\": " + cli::JsonString(src.File(name)) + ", ";
    };
    EXPECT_EQ(run.out, source("alpha.bin") +
                           "\"result\": \"converted\", \"code\": 1, \"output\": \"Alpha\"}\n" +
                           source("beta.bin") +
                           "\"result\": \"converted\", \"code\": 1, \"output\": \"Beta Tool\"}\n" +
                           source("._beta.bin") +
                           "\"result\": \"companion-skipped\", \"code\": 0}\n");

    EXPECT_EQ(vol->ReadStream("Alpha"), Text(alpha.data));
    EXPECT_EQ(vol->StreamNames("Alpha"), std::vector<std::string>{"AFP_AfpInfo"});
    EXPECT_EQ(vol->ReadStream("Beta Tool"), Text(beta.data));
    EXPECT_EQ(vol->ReadStream("Beta Tool", "AFP_Resource"), Text(beta.resource));
    const auto info = vol->ReadStream("Beta Tool", "AFP_AfpInfo");
    ASSERT_TRUE(info && info->size() == 60);
    EXPECT_EQ(info->substr(16, 8), "APPLVSKR");
}

// Without --strict, the NTFS output carries the name as the Mac showed it and the Finder
// information whole, fit for another machine; with it, what the window writes.
TEST(CliNtfs, NamesAndFinderInfoAsTheMacShowedThemUnlessStrict) {
    REQUIRE_NTFS(vol);
    TempDir src;
    Bytes macBinary = EncodeMacBinary(Fixture("R\x8Esum\x8E", "APPL", 10, 0));
    macBinary[73] = 0x25;  // bundle, custom icon, inited; on desk in the low byte (MacBinary II)
    macBinary[74] = 0;
    macBinary[101] = 0x01;
    macBinary[122] = 129;
    macBinary[76] = 9;  // the icon's place
    ASSERT_TRUE(WriteFile(src.File("r.bin"), macBinary));
    ASSERT_EQ(RunCli({"-q", vol->Root(), src.File("r.bin")}).status, 0);
    ASSERT_EQ(RunCli({"-q", "--strict", vol->Root(), src.File("r.bin")}).status, 0);

    const auto translated = vol->ReadStream(platform::AnsiToNative("R\xE9sum\xE9"), "AFP_AfpInfo");
    ASSERT_TRUE(translated && translated->size() == 60);
    EXPECT_EQ(translated->substr(16, 32),
              std::string("APPLVSKR\x24\0", 10) + std::string(22, '\0'));
    const auto asItStands = vol->ReadStream(platform::AnsiToNative("R\x8Esum\x8E"), "AFP_AfpInfo");
    ASSERT_TRUE(asItStands && asItStands->size() == 60);
    EXPECT_EQ(asItStands->substr(16, 32), "APPLVSKR" + std::string(24, '\0'));
}

TEST(CliNtfs, KeepsGoingAfterFailuresAndQuietHidesSuccesses) {
    REQUIRE_NTFS(vol);
    TempDir src;
    ASSERT_TRUE(WriteFile(src.File("one.bin"), EncodeMacBinary(Fixture("One", "TEXT", 9, 9))));
    ASSERT_TRUE(WriteFile(src.File("two.bin"), EncodeMacBinary(Fixture("Two", "TEXT", 9, 0))));
    ASSERT_TRUE(WriteFile(src.File("three.bin"), EncodeMacBinary(Fixture("Three", "TEXT", 1, 0))));
    ASSERT_TRUE(WriteFile(src.File("notes.txt"), BytesOf("no Macintosh file\n")));

    // Sources and target relative to the folder the program starts in.
    std::string target = std::filesystem::relative(vol->Root(), src.Path()).string();
    if (target.empty()) target = vol->Root();  // on another drive there is no relative path
    CliRun run = RunCli({target, "one.bin", "notes.txt", "gone.bin", "two.bin"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "one.bin -> One\ntwo.bin -> Two\n");
    EXPECT_EQ(run.err,
              "veskar-convert: notes.txt: not a Mac file: not MacBinary, AppleSingle, "
              "AppleDouble or BinHex\n"
              "veskar-convert: gone.bin: cannot be opened: No such file or directory\n"
              "veskar-convert: 2 converted, 2 failed (1 wrong-kind, 1 cannot-open), 0 skipped, 27 "
              "bytes written\n");

    run = RunCli({"-q", "-f", "macbinary", target, "three.bin"}, src.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, "");
    run = RunCli({"-q", "--json", "-f", "macbinary", target, "notes.txt", "one.bin"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "{\"source\": \"notes.txt\", \"result\": \"wrong-kind\", \"code\": -2, "
              "\"detail\": \"not a MacBinary file\"}\n");

    EXPECT_EQ(vol->ReadStream("One", "AFP_Resource"), Text(PatternBytes(9, 4)));
    EXPECT_EQ(vol->ReadStream("Two"), Text(PatternBytes(9, 3)));
    EXPECT_EQ(vol->ReadStream("Three"), Text(PatternBytes(1, 3)));
    EXPECT_FALSE(vol->ReadStream("notes.txt").has_value());
}

// AppleSingle and AppleDouble by name and by content, the companion skip of both, and a
// failure that says which file of a pair is missing.
TEST(CliNtfs, ConvertsAppleSingleAndAppleDouble) {
    REQUIRE_NTFS(vol);
    TempDir src;
    const Bytes data = PatternBytes(500, 5);
    const Bytes resource = PatternBytes(90, 6);
    ASSERT_TRUE(WriteFile(src.File("one.as"),
                          EncodeAppleSingle({{apple_fixtures::kRealName, BytesOf("Caf\x8E")},
                                             {apple_fixtures::kFinderInfo, FinderInfo("TEXTttxt")},
                                             {apple_fixtures::kDataFork, data}})));
    ASSERT_TRUE(WriteFile(src.File("Photo"), data));
    MacOsCompanion companion;
    companion.typeCreator = "JPEGogle";
    companion.resource = resource;
    ASSERT_TRUE(WriteFile(src.File("._Photo"), EncodeMacOsCompanion(companion)));
    ASSERT_TRUE(WriteFile(src.File("Lonely"), data));

    // The output's name as the system spells it: UTF-8 on Linux, code page 1252 on Windows.
    const std::string cafe = NativeName("Caf\xC3\xA9").value_or("?");
    CliRun run = RunCli({"-f", "applesingle", vol->Root(), "one.as"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "one.as -> " + cafe + "\n");
    // A "._" file named without its data file is no source of its own.
    run = RunCli({vol->Root(), "._Photo"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "veskar-convert: ._Photo: not a Mac file: this is the companion "
              "of Photo: give Photo\n");
    run = RunCli({"-f", "appledouble", vol->Root(), "._Photo", "Photo", "Lonely"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Photo -> Photo\n");
    EXPECT_EQ(run.err,
              "veskar-convert: Lonely: cannot be opened: its companion " + src.Path() +
                  platform::kPathSeparator + "._Lonely" +
                  ": No such file or directory\n"
                  "veskar-convert: 1 converted, 1 failed (1 cannot-open), 0 skipped, 1 companion "
                  "read with its data file, 590 "
                  "bytes written\n");
    run = RunCli({"-q", vol->Root(), "one.as", "._Photo", "Photo"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");

    EXPECT_EQ(vol->ReadStream(cafe), Text(data));
    EXPECT_EQ(vol->ReadStream(cafe + ".001"), Text(data));
    EXPECT_EQ(vol->ReadStream("Photo"), Text(data));
    EXPECT_EQ(vol->ReadStream("Photo", "AFP_Resource"), Text(resource));
    // Each name counts its own numbers on the command line: the third run's Photo is
    // Photo.001, though the run's second collision.
    const auto info = vol->ReadStream("Photo.001", "AFP_AfpInfo");
    ASSERT_TRUE(info && info->size() == 60);
    EXPECT_EQ(info->substr(16, 8), "JPEGogle");
    EXPECT_FALSE(vol->ReadStream("Lonely").has_value());
}

// --- Batches: folders, verification, mail and news, trial runs -----------------------------

std::string Mkdirs(const TempDir& dir, const std::string& relative) {
    std::filesystem::create_directories(platform::PathOfNative(dir.File(relative)));
    return dir.File(relative);
}

std::string BinHexText(const MacFile& file, const std::string& preamble, bool wrongChecks) {
    BinHexStyle style;
    style.preamble = preamble + style.preamble;
    style.wrongChecks = wrongChecks;
    return EncodeBinHex(file, style);
}

// An archive as people have them: subfolders, a folder name that is no safe file name, an
// unpacked zip with its "__MACOSX" tree, BinHex behind mail headers, and a BinHex text whose
// check values are wrong, which --verify refuses while the rest converts.
TEST(CliBatch, TreeConvertsWithItsFoldersAndCompanionsVerified) {
    REQUIRE_NTFS(vol);
    TempDir src;
    const MacFile deep = Fixture("Deep", "TEXT", 200, 30);
    const MacFile mailed = Fixture("Mailed", "APPL", 900, 90);
    const MacFile broken = Fixture("Broken", "TEXT", 50, 5);
    const Bytes photo = PatternBytes(400, 11);
    MacOsCompanion companion;
    companion.typeCreator = "JPEGogle";
    companion.resource = PatternBytes(60, 12);
    Mkdirs(src, "archive/a/b");
    Mkdirs(src, "archive/odd:name");
    Mkdirs(src, "archive/zip/pics");
    Mkdirs(src, "archive/zip/__MACOSX/pics");
    ASSERT_TRUE(WriteFile(src.File("archive/a/b/deep.bin"), EncodeMacBinary(deep)));
    ASSERT_TRUE(WriteFile(src.File("archive/odd:name/mailed.hqx"),
                          BytesOf(BinHexText(mailed,
                                             "Date: Tue, 23 Jun 92 00:21 PDT\nFrom: a@b.c\n" +
                                                 std::string(200, '-') + "\nSubject: x: y\n\n",
                                             false))));
    ASSERT_TRUE(WriteFile(src.File("archive/broken.hqx"), BytesOf(BinHexText(broken, "", true))));
    ASSERT_TRUE(WriteFile(src.File("archive/zip/pics/Photo"), photo));
    ASSERT_TRUE(
        WriteFile(src.File("archive/zip/__MACOSX/pics/._Photo"), EncodeMacOsCompanion(companion)));

    // Without -r a folder is a failure of its own.
    CliRun run = RunCli({vol->Root(), "archive"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "veskar-convert: archive: cannot be opened: it is a folder (give -r to "
              "convert the files below it)\n");

    run = RunCli({"-r", "--verify", vol->Root(), "archive"}, src.Path());
    EXPECT_EQ(run.status, 1);
    // A folder is named as a Mac client stores it on NTFS: ':' in the private range, where
    // names are Unicode (on Windows, the 8-bit names made safe).
    const std::string odd = platform::kNativeTextIsUtf8 ? "odd\xEF\x80\xA2name" : "odd_name";
    // Text shows the name as people read it, ':' again.
    EXPECT_EQ(run.out,
              "archive/a/b/deep.bin -> a/b/Deep\n"
              "archive/odd:name/mailed.hqx -> " +
                  std::string(platform::kNativeTextIsUtf8 ? "odd:name" : "odd_name") +
                  "/Mailed\n"
                  "archive/zip/pics/Photo -> zip/pics/Photo\n");
    EXPECT_EQ(run.err,
              "veskar-convert: archive/broken.hqx: a check value is wrong: the check "
              "value of the header is wrong\n"
              "veskar-convert: 3 converted, 1 failed (1 check-failed), 0 skipped, 1 companion read "
              "with its data file, 1680 "
              "bytes written\n");
    // No progress display when standard error is not a terminal.
    EXPECT_EQ(run.err.find('\r'), std::string::npos);

    EXPECT_EQ(vol->ReadStream("a/b/Deep"), Text(deep.data));
    EXPECT_EQ(vol->ReadStream("a/b/Deep", "AFP_Resource"), Text(deep.resource));
    EXPECT_EQ(vol->ReadStream(odd + "/Mailed"), Text(mailed.data));
    EXPECT_EQ(vol->ReadStream(odd + "/Mailed", "AFP_Resource"), Text(mailed.resource));
    EXPECT_EQ(vol->ReadStream("zip/pics/Photo"), Text(photo));
    EXPECT_EQ(vol->ReadStream("zip/pics/Photo", "AFP_Resource"), Text(companion.resource));
    const auto info = vol->ReadStream("zip/pics/Photo", "AFP_AfpInfo");
    ASSERT_TRUE(info && info->size() == 60);
    EXPECT_EQ(info->substr(16, 8), "JPEGogle");
    EXPECT_FALSE(vol->ReadStream("Broken").has_value());
    EXPECT_FALSE(vol->ReadStream("zip/__MACOSX").has_value());
    EXPECT_FALSE(vol->ReadStream("zip/pics/._Photo").has_value());
}

// --strict is the window's BinHex: the identification line past 128 bytes is not seen, and
// without --verify wrong check values change nothing.
TEST(CliBatch, StrictAndUnverifiedBinHex) {
    REQUIRE_NTFS(vol);
    TempDir src;
    const MacFile file = Fixture("Late", "TEXT", 40, 0);
    ASSERT_TRUE(WriteFile(src.File("late.hqx"),
                          BytesOf(BinHexText(file, std::string(200, '=') + "\n", true))));
    CliRun run = RunCli({"--strict", vol->Root(), "late.hqx"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "veskar-convert: late.hqx: not a Mac file: not MacBinary, AppleSingle, "
              "AppleDouble or BinHex\n");
    run = RunCli({"--strict", "-f", "binhex", vol->Root(), "late.hqx"}, src.Path());
    EXPECT_EQ(run.status, 1);
    run = RunCli({vol->Root(), "late.hqx"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "late.hqx -> Late\n");
    EXPECT_EQ(vol->ReadStream("Late"), Text(file.data));
}

// Written as it is decoded, a BinHex output whose resource fork's check value is found wrong
// at its end is taken back whole with --verify: file and streams.
TEST(CliBatch, BinHexFoundWrongAtItsEndIsTakenBack) {
    REQUIRE_NTFS(vol);
    TempDir src;
    BinHexStyle style;
    style.wrongResourceCheck = true;
    const MacFile file = Fixture("Late", "TEXT", 70000, 600000);
    ASSERT_TRUE(WriteFile(src.File("late.hqx"), BytesOf(EncodeBinHex(file, style))));
    CliRun run = RunCli({"--verify", vol->Root(), "late.hqx"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "veskar-convert: late.hqx: a check value is wrong: the check value of the "
              "resource fork is wrong\n");
    EXPECT_TRUE(std::filesystem::is_empty(vol->Root()));
    // A right copy made under the same name at once gets its streams, though the mount still
    // knows the names of those taken back; so does one made again after a deletion.
    ASSERT_TRUE(WriteFile(src.File("right.hqx"), BytesOf(EncodeBinHex(file))));
    const std::string failure = run.err;
    run = RunCli({"-q", "--verify", vol->Root(), "late.hqx", "right.hqx"}, src.Path());
    EXPECT_EQ(run.err, failure);
    std::filesystem::remove(vol->Path("Late"));
    run = RunCli({"-q", vol->Root(), "right.hqx"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(vol->ReadStream("Late", "AFP_Resource") == Text(file.resource));
}

TEST(CliBatch, MacBinaryHeaderCheckWithVerify) {
    REQUIRE_NTFS(vol);
    TempDir src;
    Bytes good = EncodeMacBinary(Fixture("Good", "TEXT", 10, 0));
    good[122] = good[123] = 129;
    PutBigEndian16(good, 124, BinHexCrc(Bytes(good.begin(), good.begin() + 124)));
    Bytes bad = good;
    bad[2] = 'H';  // the name changes, the check value stays
    ASSERT_TRUE(WriteFile(src.File("good.bin"), good));
    ASSERT_TRUE(WriteFile(src.File("bad.bin"), bad));
    CliRun run = RunCli({"--verify", "--json", vol->Root(), "good.bin", "bad.bin"}, src.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "{\"source\": \"good.bin\", \"result\": \"converted\", \"code\": 1, "
              "\"output\": \"Good\"}\n"
              "{\"source\": \"bad.bin\", \"result\": \"check-failed\", \"code\": -4, "
              "\"detail\": \"the check value of the MacBinary header is wrong\"}\n");
    run = RunCli({"-q", vol->Root(), "bad.bin"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(vol->ReadStream("Hood"), Text(PatternBytes(10, 3)));
}

// A trial run writes nothing, not even the folders a real run would make, and says what the
// real run would write.
// Regression: a folder there in other letters beyond ASCII ("Café" for "CAFÉ") was made a
// second time, differing by case alone, which NTFS takes for one name.
TEST(CliBatch, AFolderThereInOtherLettersIsUsedNotDoubled) {
    REQUIRE_NTFS(vol);
    TempDir src;
    // In the system's own encoding of names: UTF-8 on Linux, code page 1252 on Windows.
    const std::string upper = platform::AnsiToNative("CAF\xC9");
    const std::string lower = platform::AnsiToNative("Caf\xE9");
    Mkdirs(src, "tree/" + upper);
    ASSERT_TRUE(WriteFile(src.File("tree/" + upper + "/menu.bin"),
                          EncodeMacBinary(Fixture("Menu", "TEXT", 20, 0))));
    ASSERT_TRUE(std::filesystem::create_directory(platform::PathOfNative(vol->Path(lower))));
    const CliRun run = RunCli({"-r", vol->Root(), "tree"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "tree/" + upper + "/menu.bin -> " + lower + "/Menu\n");
    std::vector<std::string> top;
    for (const auto& entry : std::filesystem::directory_iterator(vol->Root()))
        top.push_back(platform::NativeOfPath(entry.path().filename()));
    EXPECT_EQ(top, std::vector<std::string>{lower});
    EXPECT_EQ(vol->ReadStream(lower + "/Menu"), Text(Fixture("Menu", "TEXT", 20, 0).data));
}

TEST(CliBatch, DryRunWritesNothing) {
    REQUIRE_NTFS(vol);
    TempDir src;
    Mkdirs(src, "tree/sub");
    const MacFile one = Fixture("One", "TEXT", 300, 20);
    ASSERT_TRUE(WriteFile(src.File("tree/sub/one.bin"), EncodeMacBinary(one)));
    ASSERT_TRUE(
        WriteFile(src.File("tree/two.hqx"), BytesOf(EncodeBinHex(Fixture("Two", "APPL", 70, 7)))));
    ASSERT_TRUE(WriteFile(vol->Path("Two"), BytesOf("taken")));
    const CliRun run = RunCli({"-n", "-r", vol->Root(), "tree"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "tree/sub/one.bin -> sub/One (data 300, resource 20, TEXT/VSKR)\n"
              "tree/two.hqx -> Two.001 (data 70, resource 7, APPL/VSKR)\n");
    EXPECT_EQ(run.err, "veskar-convert: 2 to convert, 0 failed, 0 skipped, 397 bytes to write\n");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(vol->Root()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"Two"});
    EXPECT_TRUE(std::filesystem::is_empty(src.File("tree/sub")) == false);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(src.File("tree")),
                            std::filesystem::directory_iterator()),
              2);  // no intermediate files beside the BinHex source either
}

// A source folder that is also the target: the walk meets the outputs as it goes, and must
// not take them for sources (here "zed", the output of m.bin, sorts after it).
TEST(CliBatch, TargetThatIsTheSourceFolderConvertsOnlyWhatWasThere) {
    REQUIRE_NTFS(vol);
    std::filesystem::create_directory(vol->Path("sub"));
    const MacFile zed = Fixture("zed", "TEXT", 30, 3);
    ASSERT_TRUE(WriteFile(vol->Path("m.bin"), EncodeMacBinary(zed)));
    ASSERT_TRUE(WriteFile(vol->Path("sub/n.bin"), EncodeMacBinary(Fixture("zz", "TEXT", 8, 0))));
    const CliRun run = RunCli({"-r", ".", "."}, vol->Root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "./m.bin -> zed\n./sub/n.bin -> sub/zz\n");
    EXPECT_EQ(vol->ReadStream("zed", "AFP_Resource"), Text(zed.resource));
    EXPECT_TRUE(vol->ReadStream("sub/zz").has_value());
}

// Two source trees meet in the target's folders: a folder made for the first is found again
// for the second, in other letters too, after the walk has left it.
TEST(CliBatch, FoldersOfTwoSourcesMeetInOneOutputFolder) {
    REQUIRE_NTFS(vol);
    TempDir src;
    Mkdirs(src, "one/Sub/deep");
    Mkdirs(src, "two/sub");
    const auto put = [&](const std::string& path, const std::string& name) {
        return WriteFile(src.File(path), EncodeMacBinary(Fixture(name, "TEXT", 4, 0)));
    };
    ASSERT_TRUE(put("one/Sub/deep/a.bin", "A") && put("one/Sub/b.bin", "B") &&
                put("one/c.bin", "C") && put("two/sub/d.bin", "D") && put("two/e.bin", "E"));
    const CliRun run = RunCli({"--json", "-r", vol->Root(), "one", "two"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> outputs;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        outputs.push_back(line.substr(line.find("\"output\": \"") + 11));
    // In path order: "b.bin" before "deep/", "e.bin" before "sub/".
    EXPECT_EQ(outputs,
              (std::vector<std::string>{"Sub/B\"}", "Sub/deep/A\"}", "C\"}", "E\"}", "Sub/D\"}"}));
    for (const char* output : {"Sub/B", "Sub/deep/A", "C", "E", "Sub/D"})
        EXPECT_EQ(vol->ReadStream(output), Text(PatternBytes(4, 3))) << output;
}

// Names beyond ASCII met by the walk, folders and files: each reaches the import and the
// output tree as the system spells it. "\x80" is the euro sign, where code page 1252 and
// Latin-1 part.
TEST(CliBatch, WalkedNamesBeyondAsciiConvert) {
    REQUIRE_NTFS(vol);
    TempDir src;
    const std::string folder = platform::AnsiToNative("D\xE9j\xE0 \x80");
    Mkdirs(src, "tree/" + folder);
    const std::string file = "tree/" + folder + "/" + platform::AnsiToNative("R\xE9sum\xE9.bin");
    ASSERT_TRUE(WriteFile(src.File(file), EncodeMacBinary(Fixture("Note", "TEXT", 4, 0))));
    const CliRun run = RunCli({"-r", vol->Root(), "tree"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "tree/" + folder + "/" + platform::AnsiToNative("R\xE9sum\xE9.bin") +
                           " -> " + folder + "/Note\n");
    EXPECT_EQ(vol->ReadStream(folder + "/Note"), Text(PatternBytes(4, 3)));
}

#ifdef _WIN32
// A name that the ANSI code page cannot hold has no 8-bit form for the imports to open: it is
// a failure of its own, never taken for another file, and the rest of the folder converts.
TEST(CliBatch, WalkedNameBeyondTheAnsiCodePageFailsAlone) {
    REQUIRE_NTFS(vol);
    TempDir src;
    Mkdirs(src, "tree");
    ASSERT_TRUE(WriteFile(src.File("tree/a.bin"), EncodeMacBinary(Fixture("Note", "TEXT", 4, 0))));
    std::filesystem::copy_file(platform::PathOfNative(src.File("tree/a.bin")),
                               platform::PathOfNative(src.File("tree")) / L"\u65E5.bin");
    const CliRun run = RunCli({"-r", vol->Root(), "tree"}, src.Path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "tree/a.bin -> Note\n");
    EXPECT_NE(run.err.find("tree/?.bin: cannot be opened"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 converted, 1 failed"), std::string::npos) << run.err;
}
#endif

TEST(CliProgress, DrawnOnlyWhenShownAndClearedAfter) {
    for (const bool shown : {false, true}) {
        std::ostringstream err;
        {
            cli::Progress progress(err, shown, 2, 2048);
            progress.Starting("a.bin", 1024);
            progress.Finished();
            progress.Starting("b.bin", 1024);
            progress.Finished();
        }
        if (!shown) {
            EXPECT_EQ(err.str(), "");
            continue;
        }
        EXPECT_NE(err.str().find("2/2 files, 0.0 of 0.0 MiB"), std::string::npos) << err.str();
        EXPECT_TRUE(err.str().ends_with("\r\033[K")) << err.str();
    }
    EXPECT_EQ(cli::Progress::Line(3, 10, 3 << 20, 10 << 20, 2.0),
              "3/10 files, 3.0 of 10.0 MiB (30%), 1.5 MiB/s, 5 s left");
    EXPECT_EQ(cli::Progress::Line(1, 4, 0, 0, 60.0),
              "1/4 files, 0.0 of 0.0 MiB (25%), 0.0 MiB/s, 3 min left");
    EXPECT_EQ(cli::Progress::Line(2, 2, 1 << 20, 1 << 20, 1.0),
              "2/2 files, 1.0 of 1.0 MiB (100%), 1.0 MiB/s");
}

}  // namespace

namespace {

// The byte figures ("1.5 of 4.0 MiB") of every progress line drawn into `err`, with the
// files done of each.
struct Drawn {
    int filesDone;
    double mebibytes;
    double total;
};
std::vector<Drawn> DrawnLines(const std::string& err) {
    std::vector<Drawn> drawn;
    for (std::size_t at = 0; (at = err.find("\r\033[K", at)) != std::string::npos;) {
        at += 4;
        Drawn line{};
        int files = 0;
        if (std::sscanf(err.c_str() + at, "%d/%d files, %lf of %lf MiB", &line.filesDone, &files,
                        &line.mebibytes, &line.total) == 4)
            drawn.push_back(line);
    }
    return drawn;
}

// A long file moves the display while it is converted, by the bytes the import has moved,
// never past the file's size and never back; a BinHex text the same over its four passes.
TEST(CliProgress, MovesWithinALongFile) {
    REQUIRE_NTFS(vol, 64);
    TempDir src;
    CurrentFolderGuard guard;
    const MacFile big = Fixture("Big", "APPL", 3 << 20, 1 << 20);
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(big)));
    ASSERT_TRUE(
        WriteFile(src.File("big.hqx"), BytesOf(EncodeBinHex(Fixture("Text", "TEXT", 2 << 20, 0)))));
    for (const char* name : {"big.bin", "big.hqx"}) {
        for (const bool verify : {false, true}) {
            const std::uint64_t size = std::filesystem::file_size(src.File(name));
            std::ostringstream err;
            {
                // Every change is drawn, so that each step shows.
                cli::Progress progress(err, true, 1, size, std::chrono::milliseconds(0));
                progress.Starting(name, size);
                cli::Conversion how;
                how.verify = verify;
                const cli::SourceOutcome outcome =
                    cli::ConvertSource(how, vol->Root(), src.File(name), name);
                EXPECT_EQ(outcome.result, ImportResult::Converted) << name << outcome.report.detail;
                progress.Finished();
            }
            const std::vector<Drawn> drawn = DrawnLines(err.str());
            ASSERT_GE(drawn.size(), 2u) << name;
            const double total = drawn.front().total;
            int during = 0;
            for (std::size_t i = 0; i < drawn.size(); ++i) {
                EXPECT_LE(drawn[i].mebibytes, total) << name << " line " << i;
                if (i > 0) {
                    EXPECT_GE(drawn[i].mebibytes, drawn[i - 1].mebibytes) << name << " line " << i;
                }
                if (drawn[i].filesDone == 0 && drawn[i].mebibytes > 0) ++during;
            }
            // 40 KiB copy chunks and 64 KiB decoding blocks: many steps within the file.
            EXPECT_GE(during, 10) << name << (verify ? " verified" : "");
            EXPECT_EQ(drawn.back().filesDone, 1);
            EXPECT_EQ(drawn.back().mebibytes, total);
        }
    }
}

}  // namespace

}  // namespace veskar
