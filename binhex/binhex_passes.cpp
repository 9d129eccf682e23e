#include "binhex/binhex_passes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "containers/import_progress.h"

namespace binhex {

namespace {

// The value of every byte, found once by its position in the alphabet, so that decoding does
// not search the alphabet for each character.
constexpr std::array<std::uint8_t, 256> kValues = [] {
    std::array<std::uint8_t, 256> values{};
    for (std::size_t c = 0; c < values.size(); ++c) {
        const std::size_t at = kAlphabet.find(static_cast<char>(c));
        values[c] = at == std::string_view::npos ? 0 : static_cast<std::uint8_t>(at);
    }
    return values;
}();

// CR, LF and colon are never code characters. Kept as 0/1 bytes so that four tests combine
// with one bitwise or, without a branch for each.
constexpr std::array<std::uint8_t, 256> kDropped = [] {
    std::array<std::uint8_t, 256> dropped{};
    dropped['\r'] = dropped['\n'] = dropped[':'] = 1;
    return dropped;
}();

}  // namespace

std::uint8_t CodeValue(std::uint8_t c) {
    return kValues[c];
}

ByteSource::ByteSource(std::FILE* stream)
    : stream_(stream), buffer_(std::make_unique<std::uint8_t[]>(kBlock)) {}

bool ByteSource::Refill() {
    if (at_ < end_) return true;
    at_ = 0;
    end_ =
        stream_ != nullptr && readError_ == 0 ? std::fread(buffer_.get(), 1, kBlock, stream_) : 0;
    // A block cut short by a failed read is still handed out; the next refill ends the pass.
    if (stream_ != nullptr && readError_ == 0 && std::ferror(stream_))
        readError_ = errno != 0 ? errno : EIO;
    import_progress::Advance(end_);
    return end_ > 0;
}

ByteSink::ByteSink(std::FILE* stream)
    : stream_(stream), buffer_(std::make_unique<std::uint8_t[]>(kBlock)) {}

void ByteSink::Put(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (used_ == kBlock) Flush();
        const std::size_t take = std::min(count, kBlock - used_);
        std::memcpy(&buffer_[used_], bytes, take);
        used_ += take;
        bytes += take;
        count -= take;
    }
}

void ByteSink::PutCopies(std::uint8_t byte, std::size_t count) {
    while (count > 0) {
        if (used_ == kBlock) Flush();
        const std::size_t take = std::min(count, kBlock - used_);
        std::memset(&buffer_[used_], byte, take);
        used_ += take;
        count -= take;
    }
}

bool ByteSink::Flush() {
    if (used_ > 0 && !failed_ && std::fwrite(buffer_.get(), 1, used_, stream_) != used_)
        failed_ = true;
    used_ = 0;
    return !failed_;
}

namespace {

// How a pass that has read all it could ends: what it holds written, and a failed read told
// before a failed write.
PassResult Ended(const ByteSource& in, ByteSink& out) {
    const bool written = out.Flush();
    if (in.ReadError() != 0) {
        errno = in.ReadError();
        return PassResult::ReadFailed;
    }
    return written ? PassResult::Done : PassResult::WriteFailed;
}

}  // namespace

GroupRead ReadCodeGroup(ByteSource& source, CodeGroup& group) {
    std::size_t gathered = 0;
    std::uint8_t c;
    while (gathered < group.size()) {
        if (!source.Next(c)) return GroupRead::InputEnded;
        // Line breaks of every style and any later colon (the closing one, say) count for
        // nothing; every other byte, space and tab included, fills a place in the group.
        if (!kDropped[c]) group[gathered++] = c;
    }
    return GroupRead::Complete;
}

void DecodeCodeGroup(CodeGroup& group) {
    const unsigned p = kValues[group[0]];
    const unsigned q = kValues[group[1]];
    const unsigned r = kValues[group[2]];
    const unsigned s = kValues[group[3]];
    group[0] = static_cast<std::uint8_t>(p << 2 | q >> 4);
    group[1] = static_cast<std::uint8_t>((q & 0x0F) << 4 | r >> 2);
    group[2] = static_cast<std::uint8_t>((r & 0x03) << 6 | s);
    group[3] = 0;
}

PassResult DecodeBinHexText(std::FILE* text, std::FILE* packed) {
    ByteSource in(text);
    ByteSink out(packed);
    // The data starts after the first colon, wherever it stands: even one in a mail header
    // line before the identification line.
    for (;;) {
        const auto held = in.Held();
        const auto colon = std::find(held.begin(), held.end(), ':');
        if (colon != held.end()) {
            in.Skip(static_cast<std::size_t>(colon - held.begin()) + 1);
            break;
        }
        in.Skip(held.size());
        if (!in.Refill()) return Ended(in, out);
    }
    CodeGroup group;
    for (;;) {
        // Most groups lie whole in the buffer with no line break inside: those are decoded
        // in place. A group that holds a break or crosses the end of the buffer is gathered
        // by ReadCodeGroup, which passes over the breaks and reads on.
        auto held = in.Held();
        std::size_t at = 0;
        while (at + 4 <= held.size() && !(kDropped[held[at]] | kDropped[held[at + 1]] |
                                          kDropped[held[at + 2]] | kDropped[held[at + 3]])) {
            const unsigned bits = unsigned{kValues[held[at]]} << 18 |
                                  unsigned{kValues[held[at + 1]]} << 12 |
                                  unsigned{kValues[held[at + 2]]} << 6 | kValues[held[at + 3]];
            out.Put3(static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 8),
                     static_cast<std::uint8_t>(bits));
            at += 4;
        }
        in.Skip(at);
        if (ReadCodeGroup(in, group) != GroupRead::Complete) break;
        DecodeCodeGroup(group);
        out.Put3(group[0], group[1], group[2]);
    }
    return Ended(in, out);
}

PassResult ExpandRuns(std::FILE* packed, std::FILE* expanded) {
    ByteSource in(packed);
    ByteSink out(expanded);
    // The byte a run repeats is the last one written: it stays so after a run (one run may
    // follow another to go past 255), it is 0x90 after a literal marker, and 0 at the start.
    std::uint8_t previous = 0x00;
    for (;;) {
        const auto held = in.Held();
        if (held.empty()) {
            if (!in.Refill()) break;
            continue;
        }
        const auto marker = std::find(held.begin(), held.end(), kRunMarker);
        const auto literal = static_cast<std::size_t>(marker - held.begin());
        if (literal > 0) {
            out.Put(held.data(), literal);
            previous = held[literal - 1];
            in.Skip(literal);
        }
        if (marker == held.end()) continue;
        in.Skip(1);
        std::uint8_t count;
        if (!in.Next(count)) break;  // a marker at the very end adds nothing
        if (count == 0) {
            out.Put(kRunMarker);
            previous = kRunMarker;
        } else {
            out.PutCopies(previous, count - 1u);
        }
    }
    return Ended(in, out);
}

}  // namespace binhex
