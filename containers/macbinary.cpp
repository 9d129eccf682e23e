#include "containers/macbinary.h"

#include <algorithm>

#include "containers/byte_order.h"
#include "containers/crc16.h"
#include "containers/target_folder.h"
#include "platform/platform.h"

using namespace macbinary;

namespace {

// Lengths of 2^31 or more would pass the size test only through a wrapped signed sum; no
// such fork fits a MacBinary file, so they are refused.
constexpr std::uint32_t kMaxForkLength = 0x7FFFFFFF;

class SourceFile {
  public:
    explicit SourceFile(std::FILE* f) : file_(f) {}
    ~SourceFile() {
        if (file_) std::fclose(file_);
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_;
};

// Reads the header from the start of the source; a source shorter than the header is tested
// as if the missing bytes were zero. False when a read failed (errno tells why).
bool ReadHeader(std::FILE* source, MacBinaryHeader& header) {
    const std::size_t got = std::fread(header.data(), 1, header.size(), source);
    if (std::ferror(source)) return false;
    std::fill(header.begin() + static_cast<std::ptrdiff_t>(got), header.end(), 0);
    return true;
}

}  // namespace

bool IsMacBinaryHeader(const MacBinaryHeader& header, std::int64_t sourceLength) {
    const std::size_t nameLength = header[kNameLengthAt];
    const auto name = header.begin() + kNameAt;
    const auto typeCreator = header.begin() + kTypeCreatorAt;
    const std::uint32_t dataLength = BigEndian32(&header[kDataLengthAt]);
    const std::uint32_t resourceLength = BigEndian32(&header[kResourceLengthAt]);

    const bool versionZero = header[kOldVersionAt] == 0;
    const bool nameLengthFits = nameLength >= 1 && nameLength <= kMaxNameLength;
    // The name is zero-terminated exactly at its stated length (for 63 characters the
    // terminator is the first byte of the type).
    const bool nameTerminated = nameLengthFits &&
                                std::find(name, name + nameLength, 0) == name + nameLength &&
                                header[kNameAt + nameLength] == 0;
    const auto zeros = std::count(typeCreator, typeCreator + 8, 0);
    const bool typeCreatorWhole = zeros == 0 || zeros == 8;
    const bool zeroFill = header[kZeroFillAt] == 0;
    const bool hasFork = dataLength != 0 || resourceLength != 0;
    const bool lengthsSane = dataLength <= kMaxForkLength && resourceLength <= kMaxForkLength;
    // The forks together (header and padding not counted) fit in the file.
    const bool fitsSource =
        sourceLength <= 0 || static_cast<std::int64_t>(dataLength) + resourceLength <= sourceLength;
    return versionZero && nameLengthFits && nameTerminated && typeCreatorWhole && zeroFill &&
           hasFork && lengthsSane && fitsSource;
}

HeaderCrc CheckMacBinaryHeaderCrc(const MacBinaryHeader& header) {
    if (header[kVersionAt] < kVersionII || header[kMinVersionAt] < kVersionII)
        return HeaderCrc::NotCarried;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(header[kHeaderCrcAt] << 8 | header[kHeaderCrcAt + 1]);
    return Crc16({header.data(), kHeaderCrcAt}) == stored ? HeaderCrc::Matches : HeaderCrc::Wrong;
}

std::optional<Refusal> MacBinaryCheckProblem(std::string_view sourcePath) {
    SourceFile source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source.get()) return std::nullopt;
    const std::int64_t length =
        static_cast<std::int64_t>(platform::StreamSize(source.get()).value_or(0));
    MacBinaryHeader header{};
    if (!ReadHeader(source.get(), header))
        return Refusal{ImportResult::ReadFailed, ReadFailure("the header")};
    if (!IsMacBinaryHeader(header, length)) return std::nullopt;
    if (CheckMacBinaryHeaderCrc(header) == HeaderCrc::Wrong)
        return Refusal{ImportResult::CheckFailed,
                       "the check value of the MacBinary header is wrong"};
    return std::nullopt;
}

std::uint64_t MacBinaryResourceOffset(std::uint32_t dataLength) {
    std::uint64_t padded = std::uint64_t{dataLength} / kForkAlignment * kForkAlignment;
    if (padded < dataLength) padded += kForkAlignment;
    return kMacBinaryHeaderSize + padded;
}

ImportResult ImportMacBinary(std::string_view targetFolder, std::string_view sourcePath,
                             ImportReport* report) {
    const TargetFolder target = EnterTargetFolder(targetFolder);
    SourceFile source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source.get()) return ImportResult::CannotOpen;

    const std::int64_t length =
        static_cast<std::int64_t>(platform::StreamSize(source.get()).value_or(0));
    MacBinaryHeader header{};
    if (!ReadHeader(source.get(), header)) {
        if (report) report->detail = ReadFailure("the header");
        return ImportResult::ReadFailed;
    }
    if (!IsMacBinaryHeader(header, length)) return ImportResult::WrongKind;

    if (!target.usable) {
        if (report) report->detail = target.detail;
        return ImportResult::WriteFailed;
    }
    std::string name(reinterpret_cast<const char*>(&header[kNameAt]), header[kNameLengthAt]);
    const std::uint32_t dataLength = BigEndian32(&header[kDataLengthAt]);
    const std::uint32_t resourceLength = BigEndian32(&header[kResourceLengthAt]);
    TypeCreator typeCreator;
    std::copy_n(header.begin() + kTypeCreatorAt, typeCreator.size(), typeCreator.begin());

    // The header test lets forks run up to 128 bytes past the end of the file (it does not
    // count the header); the writer tells such a source truncated.
    const ForkPlace data{source.get(), kMacBinaryHeaderSize, dataLength, dataLength};
    const ForkPlace resource{source.get(),
                             resourceLength != 0 ? MacBinaryResourceOffset(dataLength) : 0,
                             resourceLength, resourceLength};
    return WriteSfmOutput(name, data, resource, typeCreator, report);
}
