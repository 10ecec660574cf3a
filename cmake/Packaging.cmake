# Debian package, built by `cpack` (see the "package" presets).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-tesk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane Tesk developers <dev@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fax destination helper for a print-to-fax server")
set(CPACK_PACKAGE_DESCRIPTION
  "Corvane Tesk sits in the system tray and listens on TCP port 5555. When a\n"
  "fax server connects, it asks the user for the fax number, typed in or\n"
  "picked from the address book, and sends the answer back to the server.\n"
  "On a host where several people are signed in, corvane-tesk-dispatcher\n"
  "(installed disabled) owns the port and hands each request to the program\n"
  "of the user it is for.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL "http://corvane.example/fax/")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Debian ships programs stripped of their symbol tables.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the binary through dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, so unseen by dpkg-shlibdeps: the address-book service, and the
# free stand-ins for the dialog's Arial faces.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "evolution-data-server, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Files under /etc must be conffiles: dpkg then keeps an admin's changes on
# upgrade, and deletes them only on purge.
cmake_path(ABSOLUTE_PATH CORVANE_AUTOSTART_DIR BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
           OUTPUT_VARIABLE corvane_autostart_full)
if(corvane_autostart_full MATCHES "^/etc/")
  set(corvane_conffiles ${CMAKE_BINARY_DIR}/debian/conffiles)
  file(WRITE ${corvane_conffiles} "${corvane_autostart_full}/org.corvane.Tesk.desktop\n")
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_CONTROL_EXTRA ${corvane_conffiles})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/FaxServerPackaging.cmake)
include(CPack)
