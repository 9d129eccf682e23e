// SPDX-License-Identifier: Apache-2.0
// Keeps the system's error boxes away while a file or volume is looked at.
#pragma once

#include <windows.h>

namespace veskar {

namespace platform::win32 {

// A drive without a disk, or one that cannot be read, would ask the user otherwise. The
// process's previous mode comes back at the end of the scope.
class QuietErrors {
  public:
    QuietErrors() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietErrors() { ::SetErrorMode(previous_); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

  private:
    UINT previous_;
};

}  // namespace platform::win32

}  // namespace veskar
