// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_staging.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "core/common/byte_order.h"
#include "core/common/c_stream.h"
#include "core/common/copy_fork.h"
#include "core/common/import_progress.h"
#include "core/common/import_result.h"
#include "core/common/name_extension.h"
#include "core/common/own_file.h"
#include "core/common/shortfall.h"
#include "core/read/binhex/binhex_passes.h"
#include "core/read/macbinary.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

using namespace binhex;

namespace {

using Stream = CStream;

constexpr std::string_view kPackedExtension = "BQX";
constexpr std::string_view kExpandedExtension = "BIX";

// The two intermediate files. Beside the source as a rule, named after it; in the temporary
// folder under names of their own when the source's folder takes no new files, when a file
// of either name is there already in any letter case (the source itself among them, say
// x.bqx), or when a path would be too long. Both are created exclusively, so no file that
// was there before is ever truncated, and both are removed when the object goes.
class Intermediates {
  public:
    explicit Intermediates(std::string_view sourcePath) {
        const std::size_t nameAt = platform::FileNameStart(sourcePath);
        const std::string folder(sourcePath.substr(0, nameAt));
        // The extension is replaced in the file name alone: a dot in a folder's name must not
        // move the intermediates out of the source's folder.
        std::string packedName(sourcePath.substr(nameAt));
        ReplaceExtension(packedName, kPackedExtension);
        std::string expandedName = packedName;
        ReplaceExtension(expandedName, kExpandedExtension);
        if (nameAt < sourcePath.size() && CreateBeside(folder, packedName, expandedName)) return;
        CreateInTemporaryFolder();
    }

    // The packed file goes first, then the expanded one.
    ~Intermediates() {
        packed_.Remove();
        expanded_.Remove();
    }
    Intermediates(const Intermediates&) = delete;
    Intermediates& operator=(const Intermediates&) = delete;

    bool Created() const { return !packed_.Path().empty() && !expanded_.Path().empty(); }
    const std::string& Packed() const { return packed_.Path(); }
    const std::string& Expanded() const { return expanded_.Path(); }

  private:
    bool CreateBeside(const std::string& folder, const std::string& packedName,
                      const std::string& expandedName) {
        const std::string packed = folder + packedName;
        const std::string expanded = folder + expandedName;
        const std::string probed = folder.empty() ? std::string(".") : folder;
        if (packed.size() > platform::kMaxPathChars || expanded.size() > platform::kMaxPathChars ||
            !platform::IsWritableFolder(probed) ||
            platform::NameTakenInFolder(probed, packedName) ||
            platform::NameTakenInFolder(probed, expandedName))
            return false;
        // A name the folder refuses (too long for it, say) or one taken in the meantime also
        // sends both files to the temporary folder.
        platform::InterruptsHeld held;
        if (!platform::CreateNewFile(packed)) return false;
        packed_.Adopt(packed);
        if (!platform::CreateNewFile(expanded)) {
            packed_.Remove();
            return false;
        }
        expanded_.Adopt(expanded);
        return true;
    }

    void CreateInTemporaryFolder() {
        const std::string temp = platform::TempFolder();
        if (temp.empty()) return;
        platform::InterruptsHeld held;
        if (auto packed = platform::CreateTempFile(temp, kPackedExtension)) packed_.Adopt(*packed);
        if (auto expanded = platform::CreateTempFile(temp, kExpandedExtension))
            expanded_.Adopt(*expanded);
    }

    OwnFile packed_;
    OwnFile expanded_;
};

// A staging that came to nothing: `result` and why.
std::FILE* Fail(Staging& staging, ImportResult result, std::string detail) {
    staging.failure = result;
    staging.detail = std::move(detail);
    return nullptr;
}

// The bytes from the stream's position to its end; 0 when either cannot be told.

}  // namespace

std::uint64_t TextLeft(std::FILE* stream) {
    const auto size = platform::StreamSize(stream);
    const auto at = platform::Tell(stream);
    return size && at && *at < *size ? *size - *at : 0;
}

MacBinaryHeader StagingHeaderOf(std::uint8_t nameLength, const std::array<std::uint8_t, 255>& name,
                                const std::array<std::uint8_t, expanded::kRecordSize>& record) {
    using namespace macbinary;
    MacBinaryHeader header{};
    // A length above 63 is kept as read, for the header test to refuse, but only 63 name
    // bytes fit the field.
    header[kNameLengthAt] = nameLength;
    std::copy_n(name.begin(), std::min<std::size_t>(nameLength, kMaxNameLength),
                header.begin() + kNameAt);
    // Type and creator end at their first zero byte, as a string would.
    const auto typeCreator = record.begin() + expanded::kTypeCreatorAt;
    std::copy(typeCreator, std::find(typeCreator, typeCreator + 8, 0),
              header.begin() + kTypeCreatorAt);
    std::copy_n(record.begin() + expanded::kFinderFlagsAt, 2, header.begin() + kFinderFlagsAt);
    std::copy_n(record.begin() + expanded::kDataLengthAt, 4, header.begin() + kDataLengthAt);
    std::copy_n(record.begin() + expanded::kResourceLengthAt, 4,
                header.begin() + kResourceLengthAt);
    return header;
}

StagingWrite WriteStagingFile(std::FILE* expandedStream, std::FILE* staging) {
    using namespace macbinary;
    StagingWrite written;
    auto ended = [&written](PassResult status) {
        written.status = status;
        return written;
    };
    if (!platform::Seek(expandedStream, 0)) return ended(PassResult::ReadFailed);
    if (!platform::Seek(staging, 0)) return ended(PassResult::WriteFailed);

    // A short expanded stream leaves the rest of the header zero; the MacBinary header test
    // then refuses it (a zero name length, both forks empty).
    std::uint8_t nameLength = 0;
    std::array<std::uint8_t, 255> name{};
    std::array<std::uint8_t, expanded::kRecordSize> record{};
    std::size_t headerHeld = std::fread(&nameLength, 1, 1, expandedStream);
    if (headerHeld == 1) headerHeld += std::fread(name.data(), 1, nameLength, expandedStream);
    headerHeld += std::fread(record.data(), 1, record.size(), expandedStream);
    if (std::ferror(expandedStream)) return ended(PassResult::ReadFailed);
    written.header = StagingHeaderOf(nameLength, name, record);
    if (std::fwrite(written.header.data(), 1, written.header.size(), staging) !=
        written.header.size())
        return ended(PassResult::WriteFailed);
    const std::size_t headerStated = 1 + std::size_t{nameLength} + record.size();
    NoteShortfall(written.shortfall, "the header", headerStated, headerHeld);

    const std::uint32_t dataLength = BigEndian32(&record[expanded::kDataLengthAt]);
    const std::uint32_t resourceLength = BigEndian32(&record[expanded::kResourceLengthAt]);
    std::uint64_t dataCopied = 0;
    std::uint64_t resourceCopied = 0;
    CopyStatus copy = CopyFork(expandedStream, staging, dataLength, &dataCopied);
    if (copy == CopyStatus::Done && resourceLength != 0) {
        std::array<std::uint8_t, expanded::kForkCheckSize> dataCheck;
        std::fread(dataCheck.data(), 1, dataCheck.size(), expandedStream);
        if (std::ferror(expandedStream)) return ended(PassResult::ReadFailed);
        const std::size_t fill = (kForkAlignment - dataLength % kForkAlignment) % kForkAlignment;
        const std::array<std::uint8_t, kForkAlignment> zeros{};
        if (std::fwrite(zeros.data(), 1, fill, staging) != fill)
            return ended(PassResult::WriteFailed);
        copy = CopyFork(expandedStream, staging, resourceLength, &resourceCopied);
    }
    if (copy == CopyStatus::ReadFailed) return ended(PassResult::ReadFailed);
    if (copy != CopyStatus::Done) return ended(PassResult::WriteFailed);
    // Lengths from a header the stream ends in are not the file's own.
    if (headerHeld == headerStated) {
        NoteShortfall(written.shortfall, "the data fork", dataLength, dataCopied);
        NoteShortfall(written.shortfall, "the resource fork", resourceLength, resourceCopied);
    }
    return ended(std::fflush(staging) == 0 ? PassResult::Done : PassResult::WriteFailed);
}

std::FILE* StageBinHex(std::FILE* sourceStream, std::string_view sourcePath,
                       const std::string& stagingPath, Staging& staging) {
    Stream source(sourceStream);
    // The text left to decode is spread over the three passes, for the progress display.
    const std::uint64_t text = TextLeft(source.get());
    const std::uint64_t third = text / 3;
    const Intermediates files(sourcePath);
    if (!files.Created()) {
        return Fail(staging, ImportResult::WriteFailed,
                    "no intermediate file could be created beside it or in the temporary folder");
    }

    Stream packed(platform::OpenStream(files.Packed(), "w+b"));
    if (!packed)
        return Fail(staging, ImportResult::WriteFailed,
                    "the packed intermediate file cannot be opened");
    PassResult decoded;
    {
        const import_progress::Pass pass(third, text);
        decoded = binhex::DecodeBinHexText(source.get(), packed.get());
    }
    if (decoded == PassResult::ReadFailed)
        return Fail(staging, ImportResult::ReadFailed, ReadFailure("the text"));
    source.reset();
    if (!CloseWritten(packed) || decoded != PassResult::Done)
        return Fail(staging, ImportResult::WriteFailed,
                    "the packed intermediate file could not be written");

    packed.reset(platform::OpenStream(files.Packed(), "rb"));
    Stream expandedStream(platform::OpenStream(files.Expanded(), "w+b"));
    if (!packed || !expandedStream)
        return Fail(staging, ImportResult::WriteFailed,
                    "an intermediate file cannot be opened again");
    PassResult expandedResult;
    {
        const import_progress::Pass pass(third, platform::StreamSize(packed.get()).value_or(0));
        expandedResult = binhex::ExpandRuns(packed.get(), expandedStream.get());
    }
    if (expandedResult == PassResult::ReadFailed)
        return Fail(staging, ImportResult::ReadFailed, ReadFailure("the packed intermediate file"));
    packed.reset();
    if (!CloseWritten(expandedStream) || expandedResult != PassResult::Done)
        return Fail(staging, ImportResult::WriteFailed,
                    "the expanded intermediate file could not be written");

    expandedStream.reset(platform::OpenStream(files.Expanded(), "rb"));
    Stream stagingFile(platform::OpenStream(stagingPath, "w+b"));
    if (!expandedStream || !stagingFile) {
        return Fail(staging, ImportResult::WriteFailed,
                    !stagingFile ? "the staging file cannot be opened"
                                 : "the expanded intermediate file cannot be opened again");
    }
    const import_progress::Pass pass(text - 2 * third,
                                     platform::StreamSize(expandedStream.get()).value_or(0));
    StagingWrite written = WriteStagingFile(expandedStream.get(), stagingFile.get());
    if (written.status == PassResult::ReadFailed)
        return Fail(staging, ImportResult::ReadFailed,
                    ReadFailure("the expanded intermediate file"));
    if (written.status != PassResult::Done)
        return Fail(staging, ImportResult::WriteFailed, "the staging file could not be written");
    staging.header = written.header;
    staging.shortfall = std::move(written.shortfall);
    return stagingFile.release();
}

}  // namespace veskar
