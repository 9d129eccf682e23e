// SPDX-License-Identifier: Apache-2.0
// Creating an output file without ever replacing anything: the one create-and-retry loop that
// every writer's outputs go through.
#pragma once

#include <functional>
#include <string>

#include "core/common/c_stream.h"
#include "core/common/own_file.h"

namespace veskar {

// How a writer's output names are tried.
struct OutputNaming {
    // Whether anything in the current folder bears the name (as the writer counts names).
    std::function<bool(const std::string& name)> taken;
    // Rewrites a taken name into a free one; false when every unique name is taken.
    std::function<bool(std::string& name)> makeUnique;
    // The native path, relative to the current folder, at which the name is created.
    std::function<std::string(const std::string& name)> path;
    // The name as messages show it.
    std::function<std::string(const std::string& name)> shown;
};

// Creates the output exclusively in the current folder, for reading and writing, under `name`
// or, when that is taken, under a unique name (`name` is rewritten). A name found taken only
// at creation (a file that appeared after the search) takes the next unique name, up to 16
// times. The file is created and handed to `owner` under one hold of the interrupts, so that
// an interrupt finds it registered for removal. Null, with `detail` saying why, when no file
// could be made.
CStream CreateExclusively(std::string& name, const OutputNaming& naming, OwnFile& owner,
                          std::string& detail);

}  // namespace veskar
