# SPDX-License-Identifier: Apache-2.0
# The same programs for 64-bit Windows. They are not what VESKAR ships: they let the tests run
# under Wine on machines whose kernel runs no 32-bit programs, which Wine's 32-bit side needs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
