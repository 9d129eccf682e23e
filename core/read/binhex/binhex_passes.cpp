// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_passes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/common/import_progress.h"

namespace veskar {

namespace binhex {

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

namespace {

// How a pass that has read all it could ends: a failed read told before a failed write.
PassResult Ended(const ByteSource& in, bool written) {
    if (in.ReadError() != 0) {
        errno = in.ReadError();
        return PassResult::ReadFailed;
    }
    return written ? PassResult::Done : PassResult::WriteFailed;
}

bool Write(std::FILE* stream, const std::vector<std::uint8_t>& bytes, std::size_t count,
           bool& written) {
    if (written && std::fwrite(bytes.data(), 1, count, stream) != count) written = false;
    return written;
}

}  // namespace

void DecodeCodeGroup(CodeGroup& group) {
    const unsigned p = CodeValue(group[0]);
    const unsigned q = CodeValue(group[1]);
    const unsigned r = CodeValue(group[2]);
    const unsigned s = CodeValue(group[3]);
    group[0] = static_cast<std::uint8_t>(p << 2 | q >> 4);
    group[1] = static_cast<std::uint8_t>((q & 0x0F) << 4 | r >> 2);
    group[2] = static_cast<std::uint8_t>((r & 0x03) << 6 | s);
    group[3] = 0;
}

PassResult DecodeBinHexText(std::FILE* text, std::FILE* packed) {
    ByteSource in(text);
    bool written = true;
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
        if (!in.Refill()) return Ended(in, written);
    }
    TextDecoder decoder(Colon::Dropped);
    std::vector<std::uint8_t> out(TextDecoder::PackedRoom(ByteSource::kBlock));
    do {
        std::size_t used = 0;
        const std::size_t bytes = decoder.Decode(in.Held(), out.data(), used);
        in.Skip(used);
        Write(packed, out, bytes, written);
    } while (in.Refill());
    return Ended(in, written);
}

PassResult ExpandRuns(std::FILE* packed, std::FILE* expanded) {
    ByteSource in(packed);
    bool written = true;
    RunExpander expander;
    std::vector<std::uint8_t> out(ByteSource::kBlock);
    while (in.Refill()) {
        auto held = in.Held();
        // A block filled to the brim may leave a run to finish.
        std::size_t bytes;
        do {
            bytes = expander.Expand(held, out.data(), out.size());
            Write(expanded, out, bytes, written);
        } while (bytes == out.size() || !held.empty());
        in.Skip(in.Held().size());
    }
    return Ended(in, written);
}

}  // namespace binhex

}  // namespace veskar
