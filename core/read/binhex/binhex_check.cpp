// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_check.h"

#include "core/common/import_result.h"
#include "core/common/shortfall.h"
#include "core/read/binhex/binhex_stream.h"
#include "platform/platform.h"

namespace veskar {

namespace binhex {

Contents ReadContents(std::FILE* source, std::uint64_t start) {
    Contents contents;
    if (!platform::Seek(source, start)) {
        contents.readFailure = ReadFailure("the text");
        contents.missing = Check::Header;
        return contents;
    }
    ExpandedReading reading(TextAfterFirstColon(source), contents);
    reading.ReadToEnd();
    return contents;
}

std::string CheckProblem(const Contents& contents) {
    constexpr std::array<std::string_view, 3> kWhat{"the header", "the data fork",
                                                    "the resource fork"};
    if (contents.wrong)
        return "the check value of " + std::string(kWhat[static_cast<int>(*contents.wrong)]) +
               " is wrong";
    if (contents.missing)
        return "the text ends before the check value of " +
               std::string(kWhat[static_cast<int>(*contents.missing)]);
    return {};
}

std::string ForkShortfall(const Contents& contents) {
    std::string shortfall;
    if (!contents.headerComplete) {
        NoteShortfall(shortfall, "the header",
                      1 + std::size_t{contents.nameLength} + expanded::kRecordSize,
                      contents.headerPresent);
        return shortfall;
    }
    NoteShortfall(shortfall, "the data fork", contents.dataLength, contents.dataPresent);
    NoteShortfall(shortfall, "the resource fork", contents.resourceLength,
                  contents.resourcePresent);
    return shortfall;
}

}  // namespace binhex

}  // namespace veskar
