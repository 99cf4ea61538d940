# SPDX-License-Identifier: GPL-3.0-or-later
# Debian package: `cpack -G DEB` in the build directory. The install rules of
# the whole project are what goes into it, so this comes after app/ has added
# the program.
set(CPACK_PACKAGE_NAME chanload)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ChanLoad developers")
set(CPACK_PACKAGE_CONTACT "ChanLoad developers <chanload@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "channel activity meter for AGWPE packet engines")
set(CPACK_PACKAGE_DESCRIPTION
  "ChanLoad connects to an AGWPE-compatible packet engine such as Dire Wolf,
counts the frames heard on one radio port and shows how busy the channel
is: the usage of the last sample period, the share of information bytes and
the load over the last ten periods, in a small window and in the
notification area.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ChanLoad developers <chanload@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps (package dpkg-dev) turns the linked libraries into Depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its SQLite driver as a plugin, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "direwolf")

# What Debian wants beside the program: the licence in machine-readable form
# and the changelog, compressed (a native package, so not changelog.Debian).
set(CHANLOAD_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/chanload)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog > ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog
)
add_custom_target(chanload-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CHANLOAD_PACKAGE_DOCDIR})

# dpkg's defaults rather than the umask of whoever runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/")

include(CPack)
