# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Installs the build into a fresh prefix and checks that the program, its
# desktop entry, its icons, manual page and metadata land where the desktop
# and the package tools look for them.
# Arguments: -DBUILD_DIR=... -DPREFIX=...
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/orvane bin/orvane-cli share/man/man1/orvane-cli.1.gz
             share/applications/orvane.desktop
             share/icons/hicolor/32x32/apps/orvane.png share/icons/hicolor/16x16/apps/orvane.png
             share/man/man1/orvane.1.gz share/metainfo/org.orvane.Orvane.metainfo.xml
             share/doc/orvane/copyright share/doc/orvane/changelog.gz
             share/doc/orvane/changelog.Debian.gz)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/orvane.desktop" entry)
foreach(line "Exec=orvane" "Icon=orvane" "Type=Application")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "desktop entry lacks ${line}")
    endif()
endforeach()
file(READ "${PREFIX}/share/icons/hicolor/32x32/apps/orvane.png" signature LIMIT 4 HEX)
if(NOT signature STREQUAL "89504e47")
    message(FATAL_ERROR "the 32x32 icon is not a PNG file")
endif()
file(REMOVE_RECURSE "${PREFIX}")
