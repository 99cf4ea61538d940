# Debian package: `cpack -G DEB` in the build directory. The install rules of
# the whole project are what goes into it, so this comes after app/ has added
# the program.
set(CPACK_PACKAGE_NAME chanload)
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
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "direwolf")

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/")

include(CPack)
