// SPDX-License-Identifier: Apache-2.0
#include "core/common/import_result.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace veskar {

namespace {

constexpr std::array<ImportResultText, 10> kResults{{
    {ImportResult::Converted, "converted", "converted"},
    {ImportResult::NotBinHex, "not-binhex", "not a BinHex 4.0 text"},
    {ImportResult::CannotOpen, "cannot-open", "cannot be opened"},
    {ImportResult::WrongKind, "wrong-kind", "not a Mac file"},
    {ImportResult::WriteFailed, "write-failed", "the output could not be written"},
    {ImportResult::CheckFailed, "check-failed", "a check value is wrong"},
    {ImportResult::ReadFailed, "read-failed", "the source could not be read"},
    {ImportResult::Truncated, "truncated", "the source is truncated"},
    {ImportResult::Exists, "exists", "its output is there already"},
    {ImportResult::VerifyFailed, "verify-failed", "the output did not read back as the source"},
}};

}  // namespace

const ImportResultText& DescribeResult(ImportResult result) {
    for (const auto& row : kResults)
        if (row.result == result) return row;
    return kResults[3];
}

std::string ReadFailure(std::string_view what) {
    const int error = errno;  // taken before anything else can change it
    return "cannot read " + std::string(what) + ": " + std::strerror(error);
}

}  // namespace veskar
