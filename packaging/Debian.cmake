# `make package`: a Debian package of what packaging/CMakeLists.txt installs. Its run-time
# dependencies come from the libraries the program links (dpkg-shlibdeps; libqt6gui6 brings the X
# platform plugin the toolkit loads at run time) plus xdg-open, which opens the About box's link
# and .desktop mail programs; no maintainer scripts, so the package grants no
# capability (a capability on a program every user may run would let every user set the clock).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kronvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kronvik authors")
set(CPACK_PACKAGE_CONTACT "The Kronvik authors <kronvik@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray program that sets the clock from an RFC 868 timeserver")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kronvik lives in the notification area. It sets the computer's clock from a\n"
    "timeserver with the Time Protocol (RFC 868), watches for a dial-up\n"
    "(point-to-point) connection and syncs when a new one appears, starts the\n"
    "user's programs after a successful sync and asks their windows to close\n"
    "when the link drops, and checks a POP3 mailbox while a link is up.\n"
    "Setting the clock needs the CAP_SYS_TIME capability, which this package\n"
    "does not grant; /usr/share/doc/kronvik/README.md says how to.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The autostart entry's folder is absolute: install into the staging root, never the machine's /etc.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/kronvik")
# Users may edit the autostart entry; an upgrade keeps their change.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "${KRONVIK_AUTOSTART_DIR}/kronvik.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
include(CPack)
