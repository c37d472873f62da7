# `make package`: a Debian package made by CPack's DEB generator from the install rules
# (cmake/FkInstall.cmake), so the package and `make install` can never hold different files.
# The dependencies are computed from the programs by dpkg-shlibdeps; the binaries are stripped.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrovan-kest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR NORDVEL)
set(CPACK_PACKAGE_CONTACT "NORDVEL <support@nordvel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "NORDVEL <support@nordvel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://nordvel.example/ferrovan-kest)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window shows on X11 through Qt's xcb plugin (in libqt6gui6) and on Wayland through
# qt6-wayland, which Qt loads at run time, so dpkg-shlibdeps cannot see it. Qt's own texts
# (question buttons, the file dialog's columns) come in Polish and Russian from
# qt6-translations-l10n, which the window loads at run time too.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n, xdg-utils")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for Ferrovan valve-lubricator controllers")
# The first line of the package's description is the summary above; CPack indents the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Service engineers use the Ferrovan-Kest configurator to set up a Ferrovan
valve-lubricator controller over a serial port or a KESTConnect wireless
module: it shows the controller's firmware version, build date and serial
number, sets its open and break times, toggles venting, restarts it and
replaces its firmware from image files.

The package holds the window (ferrovan-kest), a command-line tool for
scripts (ferrovan) and a simulated controller and module (ferrovan-sim).")
include(CPack)
