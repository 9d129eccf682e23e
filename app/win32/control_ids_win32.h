// SPDX-License-Identifier: Apache-2.0
// The control identifiers of the Win32 window, and the messages of its test hook. The window
// and its test under Wine both use them.
#pragma once

#include <windows.h>

#include "app/core/window_layout.h"

namespace veskar {

namespace control_id {

constexpr int kExit = 10;
constexpr int kPageControl = 11;
constexpr int kStatusBar = 12;

// Each page's controls, numbered from the page's base.
enum class Part { FilesBox, List, TargetBox, Folder, Browse, Convert };
constexpr int Of(Page page, Part part) {
    return 100 + static_cast<int>(page) * 10 + static_cast<int>(part);
}

}  // namespace control_id

// The test hook: a test under Wine cannot post a shell drop from its own process, so it
// sends WM_COPYDATA to the main window, which makes the drop handle inside the program and
// sends WM_DROPFILES to the list through its replaced window procedure, as the shell would.
// Only the test build of the window (VESKAR_TEST_HOOK) answers it; veskar.exe ignores it.
namespace test_hook {

// The data: one byte, the page, then the paths, each ended by a zero byte. The drop happens
// after the sender is answered, so that a duplicate's message box does not hold it up.
constexpr ULONG_PTR kDrop = 0x56534B44;  // "VSKD"
// The data: one byte, the page, then the path of a file that receives the list's entries, in
// list order, one a line.
constexpr ULONG_PTR kListEntries = 0x56534B4C;  // "VSKL"

// Window class names, for finding the windows.
constexpr const char* kFormClass = "TVESKAR";
constexpr const char* kApplicationClass = "TApplication";

}  // namespace test_hook

}  // namespace veskar
