// SPDX-License-Identifier: Apache-2.0
// What the command line prints for each source: text or JSON lines on standard output, and
// one diagnostic line on standard error for each source that failed.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/import_report.h"

namespace veskar {

namespace cli {

struct SourceOutcome {
    std::string source;  // as given on the command line, or found below a folder given
    // An AppleDouble companion, a link met in a walk, the information of a folder that was
    // there before the run (outputFolder names it), which keeps its own, an output there
    // already, or a file below a folder that is not a Mac file.
    enum class Skip { No, Companion, Link, FolderThere, Exists, NotMac };
    Skip skipped = Skip::No;
    ImportResult result = ImportResult::WrongKind;  // not looked at when skipped
    ImportReport report;                            // outputName in 8-bit Windows form
    bool dryRun = false;       // a trial run: the report tells what would be written
    std::string outputFolder;  // native, below the target folder, ending in '/'; often empty
    bool copied = false;       // not a Mac file, copied as it is (--copy-others)
};

// Converted, or skipped (a companion, a link): neither makes the exit status 1.
bool WentWell(const SourceOutcome& outcome);

// `text` as a JSON string, quotes included. Valid UTF-8 passes through; control characters
// become \u00XX, and each byte that is not part of a valid UTF-8 sequence becomes the \u00XX
// of the Latin-1 character of that value, so the line is always valid JSON.
std::string JsonString(std::string_view text);

// A 16-bit value as four lowercase hexadecimal digits ("0100"), as the JSON has the flags.
std::string HexWord(std::uint16_t value);
// The type (`at` 0) or the creator (`at` 4) as text: its four bytes up to the first zero,
// each byte outside printable ASCII as its Latin-1 character; native.
std::string FourCharCode(const TypeCreator& typeCreator, std::size_t at);

std::string JsonLine(const SourceOutcome& outcome);  // without the line end
std::string TextLine(const SourceOutcome& outcome);  // only for outcomes that went well
// "veskar-convert: SOURCE: message[: detail][ (written as OUTPUT)]", only for failures; the
// output is named for a truncated source whose output was written.
std::string DiagnosticLine(const SourceOutcome& outcome);

// What a whole run did, for the summary line.
class Tally {
  public:
    void Add(const SourceOutcome& outcome);
    // "3 converted, 2 failed (1 check-failed, 1 wrong-kind), 1 skipped, 4096 bytes written",
    // with "2 copied" after the converted when files were copied as they are;
    // in a trial run "would be converted" and "bytes to write". The bytes count the outputs
    // of truncated sources too.
    std::string Line(bool dryRun) const;
    // A tree moved from a server layout: "10 files and 2 folders moved: 4096 bytes of data,
    // 512 of resource forks, 40 of attributes", then what failed and was skipped.
    std::string TreeLine(bool dryRun) const;

  private:
    std::string Rest() const;  // ", 1 failed (1 verify-failed), 2 skipped"
    std::size_t converted_ = 0;
    std::size_t files_ = 0, folders_ = 0;
    std::uint64_t dataBytes_ = 0, resourceBytes_ = 0, attributeBytes_ = 0;
    std::size_t copied_ = 0;
    std::size_t skipped_ = 0;
    std::size_t notMac_ = 0;      // of the skipped: files that are not Mac files
    std::size_t companions_ = 0;  // "._" files read with their data files, counted apart
    std::uint64_t bytes_ = 0;
    std::map<ImportResult, std::size_t> failed_;
};

class Reporter {
  public:
    Reporter(std::ostream& out, std::ostream& err, bool json, bool quiet)
        : out_(out), err_(err), json_(json), quiet_(quiet) {}
    // Prints the outcome's lines and flushes them, so that a reader sees each source as soon
    // as it is done.
    void Report(const SourceOutcome& outcome);

  private:
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
    bool quiet_;
};

}  // namespace cli

}  // namespace veskar
