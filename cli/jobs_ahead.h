// SPDX-License-Identifier: Apache-2.0
// The jobs of a batch, found and their sources opened and probed on a second thread a few
// jobs ahead of the conversion: reading the next sources overlaps writing the outputs of the
// current one, which on a local disk is what a batch of small files spends its time on. Only
// reading happens ahead; every output is made on the calling thread, in the jobs' order.
// Where the system gives no second thread, each job is read when it is taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/batch.h"
#include "core/formats.h"

namespace veskar {

namespace cli {

struct ProbedJob {
    Job job;
    std::optional<formats::Probe> probe;  // for a job the prober took
};

class JobsAhead {
  public:
    // What to probe a job with; nullopt for a job that is not probed ahead.
    using Prober = std::function<std::optional<formats::Probe>(const Job&)>;

    // Jobs held ready at most: each may hold an open source and its first bytes.
    static constexpr std::size_t kMostAhead = 24;

    // `jobs` is read by the second thread alone until this object is gone.
    JobsAhead(JobList& jobs, Prober prober);
    // Stops the second thread; jobs not taken are dropped, their sources closed.
    ~JobsAhead();
    JobsAhead(const JobsAhead&) = delete;
    JobsAhead& operator=(const JobsAhead&) = delete;

    // The next job with its probe, in the list's order; nullopt after the last one. What the
    // second thread threw (no memory, say) is thrown here.
    std::optional<ProbedJob> Next();

  private:
    void Work();

    JobList& jobs_;
    Prober prober_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ProbedJob> ready_;
    bool ended_ = false;     // the list has no more jobs, or the work failed
    bool stopping_ = false;  // the object is going
    bool workerWaits_ = false;
    bool takerWaits_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
};

}  // namespace cli

}  // namespace veskar
