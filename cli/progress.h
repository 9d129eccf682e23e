// SPDX-License-Identifier: Apache-2.0
// The one-line progress display on standard error: files done of the total, bytes done of
// the total, the rate, and the source under way. It is drawn only on a terminal, at most a
// few times a second, and cleared before any other line is printed so that results and
// diagnostics never share a line with it. Within a long file it moves as the import counts
// its bytes (core/common/import_progress.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "core/common/import_progress.h"

namespace veskar {

namespace cli {

// Redraws closer together than this only flicker and slow a batch of small files down.
constexpr std::chrono::milliseconds kRedrawEvery{200};

class Progress : private import_progress::Watcher {
  public:
    // `shown` is false when standard error is not a terminal, or with -q: then nothing is
    // ever written, and the imports are not watched.
    Progress(std::ostream& err, bool shown, std::size_t files, std::uint64_t bytes,
             std::chrono::milliseconds redrawEvery = kRedrawEvery);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Starting(std::string_view source, std::uint64_t bytes);  // before a source
    void Finished();                                              // after it
    void Clear();  // removes the line, if one is drawn

    // "12/300 files, 1.2 of 40.0 MiB, 3.1 MiB/s"; public for the tests.
    static std::string Line(std::size_t filesDone, std::size_t files, std::uint64_t bytesDone,
                            std::uint64_t bytes, double seconds);

  private:
    void Advanced(std::uint64_t moved) override;  // during a source
    void Draw(bool force);

    std::ostream& err_;
    bool shown_;
    std::size_t files_;
    std::uint64_t bytes_;
    std::size_t filesDone_ = 0;
    std::uint64_t bytesDone_ = 0;
    std::uint64_t current_ = 0;
    std::uint64_t movedAtStart_ = 0;  // the imports' count when the source began
    std::uint64_t inCurrent_ = 0;     // of the source under way, never past its size
    std::string source_;
    bool drawn_ = false;
    std::chrono::milliseconds redrawEvery_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace cli

}  // namespace veskar
