# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Flags for every program we ship, set once for the whole build.

# The version every program reports: `orvane --version`, the Windows version
# record and the packages all come from the project's VERSION.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)

# Reproducible output: the same sources give the same bytes wherever they
# are checked out and built. Source and build folders are written as "." into
# whatever the compiler records (file names in assertions and debug data).
# C++ only: the resource compiler takes none of these.
set(cxx $<COMPILE_LANGUAGE:CXX>)
add_compile_options($<${cxx}:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
                    $<${cxx}:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>)
if(WIN32)
    # A PE file carries its link time unless told not to. The loader
    # features are the linker's defaults today, spelt out so that a change
    # of tool chain cannot drop them: address-space randomisation (with the
    # relocations it needs), no execution of data, and on 64-bit Windows
    # addresses above 4 GiB.
    add_link_options(-Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        add_link_options(-Wl,--high-entropy-va)
    endif()
endif()

# Hardening of the Linux programs in every optimised GCC build (fortify needs
# the optimiser): position-independent executables, relocations read-only
# after start-up with every symbol bound then, stack canaries, checked
# string and memory functions, and control-flow protection (IBT and shadow
# stacks). tests/linux/check_elf.py fails on a program lacking any of them.
option(ORVANE_HARDENING "Harden optimised Linux builds" ON)
if(ORVANE_HARDENING AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set(optimised $<AND:$<NOT:$<CONFIG:Debug>>,${cxx}>)
    add_compile_options(
        $<${optimised}:-fstack-protector-strong>
        $<${optimised}:-U_FORTIFY_SOURCE>
        $<${optimised}:-D_FORTIFY_SOURCE=3>
        $<${optimised}:-fcf-protection=full>)
    add_link_options($<$<NOT:$<CONFIG:Debug>>:-Wl,-z,relro> $<$<NOT:$<CONFIG:Debug>>:-Wl,-z,now>)
endif()
