// SPDX-License-Identifier: Apache-2.0
// How the command line fixes relative Linux paths against the folder it started in.
#include <gtest/gtest.h>

#include "cli/run.h"

namespace veskar {

namespace {

TEST(CliPaths, RelativePathsJoinTheStartingFolder) {
    EXPECT_EQ(cli::AbsolutePath("x", "/base"), "/base/x");
    EXPECT_EQ(cli::AbsolutePath("../x", "/base/"), "/base/../x");
    EXPECT_EQ(cli::AbsolutePath("x", "/"), "/x");
    EXPECT_EQ(cli::AbsolutePath("/abs", "/base"), "/abs");
}

}  // namespace

}  // namespace veskar
