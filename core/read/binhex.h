// SPDX-License-Identifier: Apache-2.0
// The BinHex 4.0 reader: a text made into a description of the Macintosh file it carries, in
// the three ways the imports read one. Read whole in memory (a trial run, or the check asked
// for before the window's passes); through the window's staging file, which is MacBinary in
// form (core/read/binhex/binhex_staging.h); or in one pass, its forks decoded as the writer
// asks for them. The steps are in core/read/binhex/: identification and layout, decoding,
// the window's passes, the one-pass reading, its check values, the staging.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/mac_file.h"
#include "core/read/binhex/binhex_stream.h"

namespace veskar {

// The text read whole, as ReadContents has it: the file the header describes with each fork
// as far as the text holds it, and what the text lacks as its shortfall; refused for its
// header (Truncated when the missing forks alone are to blame, else WrongKind).
MacFileReading ReadBinHexContents(const binhex::Contents& contents);

// Why a text read whole must not be written when its check values are asked for: the check
// problem, or Truncated for forks the text ends before; nullopt while nothing is wrong.
std::optional<Refusal> BinHexVerifyRefusal(const binhex::Contents& contents);

// The window's staging file read back: MacBinary, with the low byte of the Finder flags from
// where the staging keeps it beside the high one (MacBinary I has no place of its own for it),
// as the text had it.
MacFileReading ReadBinHexStaging(ByteSource& staging);

// A text read in one pass, from the data start at which `source` stands: its header is read
// at once, its forks as the writer asks for them, a long one decoded on a second thread a
// few chunks ahead. With `verify`, a check value found wrong stops the copy as a failed read,
// so that the writer removes what it made, and Settle tells why.
class BinHexOnePass {
  public:
    BinHexOnePass(std::FILE* source, bool verify);
    ~BinHexOnePass();
    BinHexOnePass(const BinHexOnePass&) = delete;
    BinHexOnePass& operator=(const BinHexOnePass&) = delete;

    // Why the header could not be read at all; empty when it was.
    const std::string& HeaderReadFailure() const;
    // The text's bytes from the data start on, for the progress display.
    std::uint64_t TextBytes() const { return textBytes_; }

    // The description, its forks read from the text; refused as a text read whole would be,
    // from what the header says (and, with verify, its check value).
    MacFileReading Read();
    // After the writer has written what Read described (`written` its result): the forks'
    // readers stopped, and what the text tells beyond the writer, as a refusal to report
    // instead: CheckFailed or Truncated found at a fork's end, or a read that failed, each of
    // which stopped the writer and made it take its output back (`takenBack`); or Truncated
    // for what the text lacks, its output written. nullopt when the writer's result stands,
    // as it does for a reading that was refused.
    std::optional<Refusal> Settle(ImportResult written, bool& takenBack);

  private:
    struct Forks;

    std::uint64_t textBytes_ = 0;
    bool verify_;
    bool accepted_ = false;
    binhex::Contents contents_;
    std::unique_ptr<binhex::ExpandedReading> reading_;
    std::optional<Refusal> stop_;
    std::unique_ptr<Forks> forks_;
};

}  // namespace veskar
