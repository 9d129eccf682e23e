// SPDX-License-Identifier: Apache-2.0
// The one owner of an open C stream: closed when the owner goes.
#pragma once

#include <cstdio>
#include <memory>

namespace veskar {

struct CloseCStream {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using CStream = std::unique_ptr<std::FILE, CloseCStream>;

// Closes the stream and tells whether everything written to it reached its file.
inline bool CloseWritten(CStream& stream) {
    const bool flushed = std::fflush(stream.get()) == 0 && !std::ferror(stream.get());
    return std::fclose(stream.release()) == 0 && flushed;
}

}  // namespace veskar
