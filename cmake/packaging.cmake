# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The Linux package: `cpack` in a build folder makes a .deb of what
# `cmake --install` installs. tools/package.sh makes it and the Windows .zip.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVANE_DEBIAN_REVISION})
set(CPACK_PACKAGE_CONTACT "The Orvane developers <orvane@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera firmware update tool")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orvane puts a digital still camera's firmware update files onto the\ncamera's own storage: it waits for the camera named in FirmWare.ini,\nfinds the camera's own drive and writes the files there, read back\nbefore they replace the old ones.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links, found by dpkg-shlibdeps rather than listed
# by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# orvane-cli mounts and ejects the camera through UDisks2 where no desktop
# does; without it, it says how to mount by hand.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS udisks2)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
