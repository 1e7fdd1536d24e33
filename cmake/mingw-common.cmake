# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# What both MinGW-w64 tool chain files share: compilers, search paths and
# static linking.
# The "-posix" variants would pull in winpthread; the win32 thread model
# needs no DLL beyond the system's.
set(CMAKE_C_COMPILER ${ORVANE_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ORVANE_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${ORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program must run on a bare Windows: no libgcc, libstdc++ or
# winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
