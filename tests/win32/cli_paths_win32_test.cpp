// SPDX-License-Identifier: Apache-2.0
// How the command line fixes relative Windows paths against the folder it started in.
#include <gtest/gtest.h>

#include "cli/run.h"
#include "core/read/appledouble.h"

namespace veskar {

namespace {

TEST(CliPaths, RelativePathsJoinTheStartingFolder) {
    const struct {
        const char* path;
        const char* base;
        const char* absolute;
    } cases[] = {
        {"x", "C:\\base", "C:\\base\\x"},
        {"..\\x", "C:\\base\\", "C:\\base\\..\\x"},
        {"sub/x", "C:\\base/", "C:\\base/sub/x"},
        {"x", "C:\\", "C:\\x"},
        {"D:\\abs", "C:\\base", "D:\\abs"},
        {"\\\\server\\share\\x", "C:\\base", "\\\\server\\share\\x"},
        // The root of the starting folder's drive.
        {"\\name", "C:\\base", "C:\\name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::AbsolutePath(c.path, c.base), c.absolute) << c.path << " in " << c.base;
    EXPECT_EQ(AppleDoubleCompanionPath("C:\\a\\doc"), "C:\\a\\._doc");
    EXPECT_EQ(AppleDoubleCompanionPath("C:\\a/doc"), "C:\\a/._doc");
}

}  // namespace

}  // namespace veskar
