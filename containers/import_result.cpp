#include "containers/import_result.h"

#include <array>

namespace {

constexpr std::array<ImportResultText, 6> kResults{{
    {ImportResult::Converted, "converted", "converted"},
    {ImportResult::NotBinHex, "not-binhex", "not a BinHex 4.0 text"},
    {ImportResult::CannotOpen, "cannot-open", "cannot be opened"},
    {ImportResult::WrongKind, "wrong-kind", "not of the expected kind"},
    {ImportResult::WriteFailed, "write-failed", "the output could not be written"},
    {ImportResult::CheckFailed, "check-failed", "a check value is wrong"},
}};

}  // namespace

const ImportResultText& DescribeResult(ImportResult result) {
    for (const auto& row : kResults)
        if (row.result == result) return row;
    return kResults[3];
}
