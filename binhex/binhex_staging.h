// The BinHex import: a BinHex 4.0 text is recognised by its identification line, decoded
// through two intermediate files, written as a MacBinary-form staging file in the temporary
// folder, and converted by the MacBinary import. The output is named after the file name in
// the BinHex header, not after the source.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "binhex/binhex_decoder.h"
#include "containers/import_result.h"
#include "containers/macbinary.h"
#include "containers/sfm_output.h"

namespace binhex {

// The text that marks a BinHex 4.0 file; the parentheses round it on its line are not part of
// the comparison.
constexpr std::string_view kIdentification = "This file must be converted with BinHex 4.0";
// Only the first bytes are looked at, so a file that merely quotes the line further down
// (a mail message about BinHex, say) is not taken for one.
constexpr std::size_t kProbeBytes = 128;

// The expanded stream: the name length, the name, then this record, the data fork, its
// two-byte check value, the resource fork and its check value. Big-endian throughout.
namespace expanded {
constexpr std::size_t kRecordSize = 21;
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kTypeCreatorAt = 1;
constexpr std::size_t kFinderFlagsAt = 9;
constexpr std::size_t kDataLengthAt = 11;
constexpr std::size_t kResourceLengthAt = 15;
constexpr std::size_t kHeaderCheckAt = 19;
constexpr std::size_t kForkCheckSize = 2;
}  // namespace expanded

// True when the identification text stands in `head` before its first zero byte.
bool HasIdentification(std::span<const std::uint8_t> head);

}  // namespace binhex

// Probes the first 128 bytes of the open source; leaves it at its first byte. After a read
// that failed it is false, and the stream's error indicator is set.
bool IsBinHexFile(std::FILE* source);

// The staging file's MacBinary header, from the name length and name bytes as read and the
// 21-byte record of the expanded stream.
MacBinaryHeader StagingHeaderOf(
    std::uint8_t nameLength, const std::array<std::uint8_t, 255>& name,
    const std::array<std::uint8_t, binhex::expanded::kRecordSize>& record);

// What the staging writer wrote.
struct StagingWrite {
    binhex::PassResult status = binhex::PassResult::Done;  // after ReadFailed errno tells why
    MacBinaryHeader header{};
    // The parts of the expanded stream that it ends before: the header, or the data fork and
    // the resource fork as their lengths state them. Empty when the stream is whole.
    std::string shortfall;
};

// Reads the expanded stream from its start and writes the staging file from its start: the
// MacBinary header, the data fork and, when there is a resource fork, zero fill to the next
// 128-byte boundary and the resource fork.
StagingWrite WriteStagingFile(std::FILE* expanded, std::FILE* staging);

// How a staging went.
struct Staging {
    ImportResult failure = ImportResult::WriteFailed;  // when no staging file came of it
    std::string detail;                                // why not
    MacBinaryHeader header{};                          // the staging file's header
    std::string shortfall;                             // as StagingWrite's
};

// Runs both passes from the source (which it closes) through the two intermediate files and
// writes the staging file, which it returns open; both intermediates are gone on return.
// nullptr, with `staging` saying why, when an intermediate or the staging file could not be
// created, written or read (ReadFailed for a read, also of the source, that failed; otherwise
// WriteFailed); what this call made is then removed too.
std::FILE* StageBinHex(std::FILE* source, std::string_view sourcePath,
                       const std::string& stagingPath, Staging& staging);

// Converts one BinHex file into the target folder: Converted; NotBinHex without the
// identification text (nothing is created); CannotOpen for the source or the staging file;
// WrongKind when the decoded header is refused; Truncated when the text ends before its forks
// do (what it holds is written, unless the header is refused for the missing forks alone);
// ReadFailed when a read of the source, an intermediate or the staging file fails;
// WriteFailed when an intermediate, the staging file or an output could not be made. No
// intermediate or staging file outlives the call.
ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          ImportReport* report = nullptr);

namespace binhex {
enum class Start;
// What the command line may ask beyond the window's import, which takes the defaults.
struct ImportOptions {
    Start start{};        // where the data starts (binhex_check.h); the window's rule first
    bool verify = false;  // refuse a text whose check values are wrong, with CheckFailed
};
}  // namespace binhex

// ImportBinHex with options. A trial run (report->dryRun) reads the text in memory and
// creates no file at all. With verify, a text that ends before its forks do is refused as
// Truncated before anything is written.
ImportResult ImportBinHexWith(std::string_view targetFolder, std::string_view sourcePath,
                              const binhex::ImportOptions& options, ImportReport* report = nullptr);
