# SPDX-License-Identifier: Apache-2.0
# The part of the MinGW-w64 toolchain files that does not depend on the processor; the
# including file sets `triplet` and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-threads variant is the one GoogleTest builds with (it needs std::mutex).
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each program is one .exe: the C++ runtime, libgcc and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs built here run under Wine when it is installed.
find_program(VESKAR_WINE wine)
if(VESKAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VESKAR_WINE})
endif()
