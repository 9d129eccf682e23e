// SPDX-License-Identifier: Apache-2.0
// An output's files written whole before they take a name: each is made in the run's work
// folder (a hidden folder of its own on the target's volume) and moved into the target folder
// only when everything of the output is there, under a name nothing bears, never replacing
// anything. Nothing stands under a final name that is not whole, whatever stops the run.
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace veskar {

// How a writer's output names are tried as its files are put in place.
struct OutputNaming {
    // Whether anything in the current folder bears the name, as the writer counts names (in
    // any letter case, with the "._" file beside it, ...).
    std::function<bool(const std::string& name)> taken;
    // Rewrites a taken name into a free one; false when every unique name is taken.
    std::function<bool(std::string& name)> makeUnique;
    // The name as the file system takes it, and as messages show it.
    std::function<std::string(const std::string& name)> native;
};

// One file of an output, in the work folder until it is placed. What has not been placed is
// removed when the object goes: the very file made, found by its identity, never another put
// in its place.
class WorkOutput {
  public:
    WorkOutput() = default;
    ~WorkOutput();
    WorkOutput(const WorkOutput&) = delete;
    WorkOutput& operator=(const WorkOutput&) = delete;

    // Makes the file, open for reading and writing: false with `detail` saying why.
    bool Create(std::string& detail);
    std::FILE* Stream() const { return file_.stream; }
    platform::RawFile Raw() const { return platform::RawOf(file_.stream); }
    const platform::WorkFile& File() const { return file_; }
    // Closes the file, written to the disk first when each output is to be (--sync): false
    // when what was written did not all reach the file.
    bool Close();
    // Removes the file now, unless it was placed; what could not be removed is told by
    // Leftover.
    void Discard();
    // What a removal left behind, for the reason of a failure; empty when nothing was.
    const std::string& Leftover() const { return leftover_; }

  private:
    friend bool PlaceOutput(std::span<WorkOutput* const> files,
                            std::span<const std::function<std::string(const std::string&)>> nameOf,
                            std::string& name, const OutputNaming& naming, std::string& detail);
    platform::WorkFile file_;
    bool placed_ = false;
    std::string leftover_;
};

// The output's name as it will be tried when the output is placed: `name` itself when nothing
// bears it, else the first unique one; false, with `detail`, when every unique name is taken,
// so that nothing is written for a name that cannot be had.
bool ChooseName(std::string& name, const OutputNaming& naming, std::string& detail);

// Puts an output's files in place, in the order given, each under the name `nameOf` makes of
// the output's `name` (the "._" file first, then the data file, so that no whole-looking data
// file ever stands without its information), a name ChooseName gave. When something bears one
// of the names meanwhile (another program made it), the files placed already are moved back
// and the output takes the next unique name (`name` is rewritten), up to 16 times. False with
// `detail` saying why.
bool PlaceOutput(std::span<WorkOutput* const> files,
                 std::span<const std::function<std::string(const std::string&)>> nameOf,
                 std::string& name, const OutputNaming& naming, std::string& detail);

// Whether each output is written to the disk before it is placed and reported (--sync); at
// the end of a run every volume is in any case.
void SyncEachOutput(bool sync);

}  // namespace veskar
