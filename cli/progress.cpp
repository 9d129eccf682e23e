// SPDX-License-Identifier: Apache-2.0
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

namespace veskar {

namespace cli {

namespace {

// A terminal narrower than this still shows the line on one row, the source name cut.
constexpr std::size_t kWidth = 79;

std::string Mebibytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace

Progress::Progress(std::ostream& err, bool shown, std::size_t files, std::uint64_t bytes,
                   std::chrono::milliseconds redrawEvery)
    : err_(err),
      shown_(shown),
      files_(files),
      bytes_(bytes),
      redrawEvery_(redrawEvery),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_ - redrawEvery) {
    if (shown_) import_progress::Watch(this);
}

Progress::~Progress() {
    if (shown_) import_progress::Watch(nullptr);
    Clear();
}

std::string Progress::Line(std::size_t filesDone, std::size_t files, std::uint64_t bytesDone,
                           std::uint64_t bytes, double seconds) {
    std::string line = std::to_string(filesDone) + "/" + std::to_string(files) + " files, " +
                       Mebibytes(bytesDone) + " of " + Mebibytes(bytes) + " MiB";
    // How far, by bytes (by files when they hold none), and how long the rest takes at the
    // rate so far.
    const double done = bytes != 0   ? static_cast<double>(bytesDone) / static_cast<double>(bytes)
                        : files != 0 ? static_cast<double>(filesDone) / static_cast<double>(files)
                                     : 1.0;
    // In whole numbers: a fraction's floating point lands on 29.999... on some machines.
    const std::uint64_t percent = bytes != 0
                                      ? std::min<std::uint64_t>(bytesDone, bytes) * 100 / bytes
                                  : files != 0 ? std::min(filesDone, files) * 100 / files
                                               : 100;
    line += " (" + std::to_string(percent) + "%)";
    if (seconds > 0) {
        line += ", " + Mebibytes(static_cast<std::uint64_t>(bytesDone / seconds)) + " MiB/s";
        if (done > 0 && done < 1) {
            const auto left = static_cast<long long>(seconds * (1 - done) / done + 0.5);
            line += ", " + (left < 60 ? std::to_string(left) + " s left"
                                      : std::to_string((left + 30) / 60) + " min left");
        }
    }
    return line;
}

void Progress::Starting(std::string_view source, std::uint64_t bytes) {
    source_ = source;
    current_ = bytes;
    movedAtStart_ = import_progress::Moved();
    inCurrent_ = 0;
    Draw(false);
}

void Progress::Advanced(std::uint64_t moved) {
    // An AppleDouble pair moves its companion's bytes too, which its size does not count.
    const std::uint64_t inCurrent = std::min(moved - movedAtStart_, current_);
    if (inCurrent == inCurrent_) return;
    inCurrent_ = inCurrent;
    Draw(false);
}

void Progress::Finished() {
    ++filesDone_;
    bytesDone_ += current_;
    current_ = 0;
    inCurrent_ = 0;
    Draw(filesDone_ == files_);
}

void Progress::Clear() {
    if (!drawn_) return;
    err_ << "\r\033[K" << std::flush;  // back to the line's start, erase to its end
    drawn_ = false;
}

void Progress::Draw(bool force) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < redrawEvery_) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = Line(filesDone_, files_, bytesDone_ + inCurrent_, bytes_, seconds);
    if (filesDone_ < files_ && !source_.empty()) {
        line += "  ";
        // The end of the path tells most about where the batch is.
        const std::size_t room = line.size() < kWidth ? kWidth - line.size() : 0;
        line += source_.size() <= room ? source_ : source_.substr(source_.size() - room);
    }
    if (line.size() > kWidth) line.resize(kWidth);
    err_ << "\r\033[K" << line << std::flush;
    drawn_ = true;
}

}  // namespace cli

}  // namespace veskar
