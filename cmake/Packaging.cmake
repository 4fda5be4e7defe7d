# Installation and packages (scripts/package.sh builds and checks them).
#
# Linux: the install prefix is the application's folder, /opt/tarnwick by
# default: the updater works on the files beside its own executable
# (Tarnwick.exe, bak.exe, tarn.dat), so it is installed there as
# <prefix>/updater. Its menu entry and icons follow the rule in
# cmake/InstallDesktopEntry.cmake. `cpack` makes a Debian package of it
# whose Depends come from dpkg-shlibdeps.
#
# Windows: `cpack` makes a ZIP holding updater.exe alone, to be unpacked into
# the folder of Tarnwick.exe.
#
# Installed programs are stripped by `cmake --install --strip` and by CPack.

set(CPACK_PACKAGE_NAME tarnwick-updater)
set(CPACK_PACKAGE_VENDOR Tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarnwick updater: installs the newest build of Tarnwick")
set(CPACK_PACKAGE_CONTACT "Tarnwick <updates@example.com>"
    CACHE STRING "Maintainer of the Debian package, \"name <address>\"")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  install(TARGETS updater RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  # updater.exe at the top of the archive, ready to go beside Tarnwick.exe.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/tarnwick CACHE PATH
      "The application's folder: the updater goes there, beside Tarnwick.exe" FORCE)
endif()

install(TARGETS updater RUNTIME DESTINATION .)
install(CODE "
  set(TARNWICK_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/updater/tarnwick-updater.desktop.in\")
  set(TARNWICK_DESKTOP_STAGING \"${CMAKE_BINARY_DIR}/desktop-entry\")
  set(TARNWICK_ICON_SVG \"${TARNWICK_ICON_SVG}\")
  set(TARNWICK_ICON_DIR \"${TARNWICK_ICON_DIR}\")
  set(TARNWICK_ICON_SIZES \"${TARNWICK_ICON_SIZES}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake\")
")

set(CPACK_GENERATOR DEB)
# The package installs under the configured prefix, and through DESTDIR, so
# that the menu entry and icons land in /usr/share (see above).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION "A one-window program that lives beside the main application in
${CMAKE_INSTALL_PREFIX}: one click downloads the newest build from the update
server built into it (${UPDATE_HOST}) and installs it, a second click
starts it.")
# Depends: the packages of the shared libraries the updater links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
