// SPDX-License-Identifier: Apache-2.0
#include "cli/jobs_ahead.h"

#include <system_error>
#include <utility>

#include "platform/interrupt_cleanup.h"

namespace veskar {

namespace cli {

namespace {

// A full queue lets its worker sleep until two thirds of it are taken, so that the two threads
// wake each other once every many jobs rather than at every one (a wake costs as much as a few
// system calls); the third left lasts while the worker fills the rest, which it does faster.
constexpr std::size_t kWakeWorkerAt = JobsAhead::kMostAhead / 3;

}  // namespace

JobsAhead::JobsAhead(JobList& jobs, Prober prober) : jobs_(jobs), prober_(std::move(prober)) {
    try {
        worker_ = platform::ThreadOutOfInterrupts([this] { Work(); });
    } catch (const std::system_error&) {
        // No second thread to be had (a limit of the system's): each job is read when taken.
    }
}

JobsAhead::~JobsAhead() {
    if (!worker_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void JobsAhead::Work() {
    try {
        for (;;) {
            std::optional<Job> job = jobs_.Next();
            if (!job) break;
            std::optional<formats::Probe> probe = prober_(*job);
            std::unique_lock lock(mutex_);
            ready_.push_back({std::move(*job), std::move(probe)});
            if (takerWaits_) changed_.notify_all();
            if (ready_.size() >= kMostAhead) {
                workerWaits_ = true;
                changed_.wait(lock, [&] { return stopping_ || ready_.size() <= kWakeWorkerAt; });
                workerWaits_ = false;
            }
            if (stopping_) return;
        }
    } catch (...) {
        const std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
    }
    const std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

std::optional<ProbedJob> JobsAhead::Next() {
    if (!worker_.joinable()) {
        std::optional<Job> job = jobs_.Next();
        if (!job) return std::nullopt;
        std::optional<formats::Probe> probe = prober_(*job);
        return ProbedJob{std::move(*job), std::move(probe)};
    }
    std::unique_lock lock(mutex_);
    takerWaits_ = true;
    changed_.wait(lock, [&] { return !ready_.empty() || ended_; });
    takerWaits_ = false;
    if (ready_.empty()) {
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
        return std::nullopt;
    }
    std::optional<ProbedJob> job(std::move(ready_.front()));
    ready_.pop_front();
    if (workerWaits_ && ready_.size() <= kWakeWorkerAt) changed_.notify_all();
    return job;
}

}  // namespace cli

}  // namespace veskar
