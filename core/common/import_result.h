// SPDX-License-Identifier: Apache-2.0
// What an import operation reports. The values are the numbers that callers (the window's
// conversion run, the command line, scripts reading its JSON) rely on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veskar {

enum class ImportResult : std::int32_t {
    // Only on request: the output's name is taken in the target (with a read-back, by an
    // output that reads back as this source); nothing was written.
    Exists = 2,
    Converted = 1,
    NotBinHex = 0,     // only the BinHex import: no identification text
    CannotOpen = -1,   // a source (or its companion, or the staging file) cannot be opened
    WrongKind = -2,    // the header test failed
    WriteFailed = -3,  // an output could not be created or written; nothing was left behind
    CheckFailed = -4,  // only on request: a check value of the source is wrong
    ReadFailed = -5,   // a read of a source failed part-way; nothing was left behind
    // The source ends before what it states (a fork, an entry, its header): what it holds was
    // written all the same, unless a check asked for beforehand refused it.
    Truncated = -6,
    // Only on request: the output, read back, differs from the source; it was removed.
    VerifyFailed = -7,
};

struct ImportResultText {
    ImportResult result;
    std::string_view word;     // the JSON word: "converted", "write-failed", ...
    std::string_view message;  // a short phrase for people
};

const ImportResultText& DescribeResult(ImportResult result);

// A source refused before anything is written, and why.
struct Refusal {
    ImportResult result;
    std::string detail;
};

// The detail of a read that failed: "cannot read `what`: " and the system's reason (errno).
std::string ReadFailure(std::string_view what);

}  // namespace veskar
