# The Debian package: cmake --build build --target package writes
# bootquarn_<version>-1_<arch>.deb into the build folder. Its dependencies are
# worked out from the programs' shared libraries by dpkg-shlibdeps (dpkg-dev).

set(BQ_DEBIAN_DOC ${CMAKE_INSTALL_DATADIR}/doc/bootquarn)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${BQ_DEBIAN_DOC})
# Debian keeps the package's changelog compressed, byte for byte the same each build.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          > ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.Debian.gz DESTINATION ${BQ_DEBIAN_DOC})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bootquarn)
set(CPACK_PACKAGE_VENDOR Quarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quarn <bootquarn@quarn.com.br>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the window needs Qt's
# platform plugins to open at all; the success sound and the help pages use
# a player and xdg-open when present.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio-utils | alsa-utils, xdg-utils")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware writer for Quarn devices over a serial boot loader")
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "BootQuarn replaces the firmware of Quarn devices and their accessories
through the boot loader each device carries: open an Intel HEX or KFX
firmware file, connect the device over a serial line in boot mode, and
press one button.
.
The package holds the desktop window (bootquarn), the same commands for
the terminal and scripts (bootquarn-cli) and a virtual device for trying
them without hardware (bootquarn-sim).
.
To open serial ports the user must be in the dialout group:
sudo usermod -aG dialout $USER, then log in again.")
include(CPack)
