// SPDX-License-Identifier: Apache-2.0
// The command line's jobs read ahead on a second thread: the list's order kept across many
// more jobs than are held ready, probes only where asked for, a stop midway, and a failure of
// the second thread told on the first after the jobs before it.
#include "cli/jobs_ahead.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/scratch_folder.h"

namespace veskar {

namespace {

constexpr int kFiles = 3 * static_cast<int>(cli::JobsAhead::kMostAhead) + 5;

struct Batch {
    ScratchFolder scratch;
    std::vector<std::string> sources{scratch.Path().string()};
    std::vector<std::string> given{"in"};
    Batch() {
        for (int i = 0; i < kFiles; ++i) {
            const std::string number = std::to_string(1000 + i);  // names in number order
            std::ofstream(scratch / ("f" + number + ".bin")) << number;
        }
    }
    cli::JobList List() const { return {sources, given, true, "", cli::JobList::Detail::Full}; }
};

}  // namespace

TEST(JobsAhead, KeepsTheOrderAndProbesOnlyWhatItIsAskedTo) {
    Batch batch;
    cli::JobList list = batch.List();
    cli::JobsAhead jobs(list, [](const cli::Job& job) -> std::optional<formats::Probe> {
        if (job.source.ends_with("3.bin")) return std::nullopt;
        return formats::ProbeSource(job.source);
    });
    int count = 0;
    while (std::optional<cli::ProbedJob> next = jobs.Next()) {
        const std::string number = std::to_string(1000 + count++);
        EXPECT_EQ(next->job.given, "in/f" + number + ".bin");
        EXPECT_EQ(next->probe.has_value(), !number.ends_with('3'));
        if (next->probe) {
            EXPECT_EQ(next->probe->verdict, formats::Probe::Verdict::Nothing);
        }
    }
    EXPECT_EQ(count, kFiles);
    EXPECT_FALSE(jobs.Next());
}

TEST(JobsAhead, StopsMidwayAndTellsAFailureAfterTheJobsBeforeIt) {
    Batch batch;
    {
        cli::JobList list = batch.List();
        cli::JobsAhead jobs(list, [](const cli::Job&) { return std::optional<formats::Probe>(); });
        EXPECT_TRUE(jobs.Next());
    }  // gone with its queue full and the list unfinished
    cli::JobList list = batch.List();
    cli::JobsAhead jobs(list, [](const cli::Job& job) -> std::optional<formats::Probe> {
        if (job.source.ends_with("1002.bin")) throw std::runtime_error("no memory");
        return std::nullopt;
    });
    EXPECT_TRUE(jobs.Next());
    EXPECT_TRUE(jobs.Next());
    EXPECT_THROW(jobs.Next(), std::runtime_error);
}

}  // namespace veskar
