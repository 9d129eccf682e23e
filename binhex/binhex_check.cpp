#include "binhex/binhex_check.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "binhex/binhex_passes.h"
#include "containers/byte_order.h"
#include "containers/crc16.h"
#include "containers/import_progress.h"
#include "containers/shortfall.h"
#include "platform/platform.h"

namespace binhex {

namespace {

// Reads the expanded stream one piece at a time, in its order: name length, name, record,
// data fork, its check value, resource fork, its check value.
class ExpandedReader {
  public:
    explicit ExpandedReader(Contents& out) : out_(out) {}

    void Put(std::uint8_t byte) {
        switch (phase_) {
            case Phase::NameLength:
                ++out_.headerPresent;
                out_.nameLength = byte;
                crc_ = Crc16({&byte, 1}, crc_);
                phase_ = byte == 0 ? Phase::Record : Phase::Name;
                break;
            case Phase::Name:
                ++out_.headerPresent;
                out_.name[filled_++] = byte;
                crc_ = Crc16({&byte, 1}, crc_);
                if (filled_ == out_.nameLength) Next(Phase::Record);
                break;
            case Phase::Record:
                ++out_.headerPresent;
                out_.record[filled_++] = byte;
                if (filled_ <= expanded::kHeaderCheckAt) crc_ = Crc16({&byte, 1}, crc_);
                if (filled_ == out_.record.size()) EndRecord();
                break;
            case Phase::Data:
            case Phase::Resource:
                crc_ = Crc16({&byte, 1}, crc_);
                ++(phase_ == Phase::Data ? out_.dataPresent : out_.resourcePresent);
                if (++forkDone_ == forkLength_)
                    Next(phase_ == Phase::Data ? Phase::DataCheck : Phase::ResourceCheck);
                break;
            case Phase::DataCheck:
            case Phase::ResourceCheck:
                stored_ = static_cast<std::uint16_t>(stored_ << 8 | byte);
                if (++filled_ == 2) EndForkCheck();
                break;
            case Phase::Done:
                break;
        }
    }

    // The text has ended: every check value not yet reached is missing.
    void Finish() {
        if (out_.missing || phase_ == Phase::Done) return;
        if (phase_ <= Phase::Record)
            out_.missing = Check::Header;
        else if (phase_ <= Phase::DataCheck)
            out_.missing = Check::DataFork;
        else
            out_.missing = Check::ResourceFork;
    }

  private:
    enum class Phase { NameLength, Name, Record, Data, DataCheck, Resource, ResourceCheck, Done };

    void Next(Phase phase) {
        phase_ = phase;
        filled_ = 0;
        stored_ = 0;
    }

    void Fork(Phase phase, std::uint32_t length) {
        Next(phase);
        crc_ = 0;
        forkDone_ = 0;
        forkLength_ = length;
        if (length == 0) Next(phase == Phase::Data ? Phase::DataCheck : Phase::ResourceCheck);
    }

    void EndRecord() {
        out_.headerComplete = true;
        out_.dataLength = BigEndian32(&out_.record[expanded::kDataLengthAt]);
        out_.resourceLength = BigEndian32(&out_.record[expanded::kResourceLengthAt]);
        const std::uint16_t stored = static_cast<std::uint16_t>(
            out_.record[expanded::kHeaderCheckAt] << 8 | out_.record[expanded::kHeaderCheckAt + 1]);
        Note(Check::Header, stored);
        Fork(Phase::Data, out_.dataLength);
    }

    void EndForkCheck() {
        if (phase_ == Phase::DataCheck) {
            Note(Check::DataFork, stored_);
            Fork(Phase::Resource, out_.resourceLength);
        } else {
            Note(Check::ResourceFork, stored_);
            Next(Phase::Done);
        }
    }

    void Note(Check check, std::uint16_t stored) {
        if (stored != crc_ && !out_.wrong) out_.wrong = check;
    }

    Contents& out_;
    Phase phase_ = Phase::NameLength;
    std::size_t filled_ = 0;
    std::uint16_t crc_ = 0;
    std::uint16_t stored_ = 0;
    std::uint64_t forkDone_ = 0;
    std::uint64_t forkLength_ = 0;
};

}  // namespace

Contents ReadContents(std::FILE* source, std::uint64_t start) {
    Contents contents;
    ExpandedReader reader(contents);
    if (!platform::Seek(source, start)) {
        contents.readFailure = ReadFailure("the text");
        reader.Finish();
        return contents;
    }
    ByteSource in(source);
    auto ended = [&] {
        if (in.ReadError() != 0) {
            errno = in.ReadError();
            contents.readFailure = ReadFailure("the text");
        }
        reader.Finish();
        return contents;
    };
    // Pass 1 starts after the first colon from `start`.
    for (std::uint8_t c;;) {
        if (!in.Next(c)) return ended();
        if (c == ':') break;
    }
    // Pass 2 as ExpandRuns does it: the byte a run repeats is the last one written.
    std::uint8_t previous = 0x00;
    bool marker = false;
    auto expand = [&](std::uint8_t byte) {
        if (marker) {
            marker = false;
            if (byte == 0) {
                reader.Put(kRunMarker);
                previous = kRunMarker;
            } else {
                for (unsigned n = 1; n < byte; ++n)
                    reader.Put(previous);
            }
        } else if (byte == kRunMarker) {
            marker = true;
        } else {
            reader.Put(byte);
            previous = byte;
        }
    };
    // As BinHex 4.0 defines the text, the closing colon ends the data and a last group of
    // two or three characters still carries one or two bytes: encoders end the text with
    // such a group, which holds the resource fork's check value. (The window's pass 1 reads
    // on to the end of the file and drops that group; it never needs the check value.)
    CodeGroup group{};
    std::size_t gathered = 0;
    for (std::uint8_t c; in.Next(c);) {
        if (c == ':') break;
        if (c == '\r' || c == '\n') continue;
        group[gathered++] = c;
        if (gathered < group.size()) continue;
        DecodeCodeGroup(group);
        for (std::size_t i = 0; i < 3; ++i)
            expand(group[i]);
        gathered = 0;
    }
    if (gathered >= 2) {
        const std::size_t bytes = gathered - 1;
        while (gathered < group.size())
            group[gathered++] = static_cast<std::uint8_t>(kAlphabet[0]);
        DecodeCodeGroup(group);
        for (std::size_t i = 0; i < bytes; ++i)
            expand(group[i]);
    }
    return ended();
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
