# The Windows installer: cmake --build build-windows --target package (or
# scripts/package.sh --windows) writes build-windows/BootQuarn-<version>-win64.exe
# with CPack's NSIS generator, a 64-bit installer. It holds bootquarn-cli.exe,
# the command line's manual page as a text help file, and the window when the
# build has Qt for Windows. Silent install: BootQuarn-...-win64.exe /S /D=C:\Path

# The help file is the manual page of the command line, made by help2man from
# the build machine's bootquarn-cli (its --help is the same text) with the
# Windows sections of packaging/windows, and laid out as plain text.
set(BQ_HOST_BIN_DIR ${PROJECT_SOURCE_DIR}/build/bin CACHE PATH
    "bootquarn-sim and bootquarn-cli of the build machine (the default preset's)")
find_program(BQ_HELP2MAN help2man)
find_program(BQ_GROFF groff)
set(help_dir ${CMAKE_BINARY_DIR}/help)
set(help_text ${help_dir}/bootquarn-cli.txt)
if(BQ_HELP2MAN AND BQ_GROFF AND EXISTS ${BQ_HOST_BIN_DIR}/bootquarn-cli)
  set(windows_h2m ${PROJECT_SOURCE_DIR}/packaging/windows/bootquarn-cli.h2m)
  add_custom_command(
    OUTPUT ${help_text}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${help_dir}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=${BQ_HOST_BIN_DIR}/bootquarn-cli
            -DOUTPUT=${help_dir}/commands.h2m -P ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 "PATH=${BQ_HOST_BIN_DIR}:$ENV{PATH}"
            ${BQ_HELP2MAN} --no-info --locale=C.UTF-8 --section=1 --source=BootQuarn
            --include=${windows_h2m} --include=${help_dir}/commands.h2m
            --output=${help_dir}/bootquarn-cli.1 bootquarn-cli
    COMMAND ${CMAKE_COMMAND} -DMAN=${help_dir}/bootquarn-cli.1 -DOUTPUT=${help_text}
            -DGROFF=${BQ_GROFF} -P ${PROJECT_SOURCE_DIR}/cmake/WindowsHelpText.cmake
    DEPENDS ${windows_h2m} ${BQ_HOST_BIN_DIR}/bootquarn-cli
            ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
            ${PROJECT_SOURCE_DIR}/cmake/WindowsHelpText.cmake
    COMMENT "Help file bootquarn-cli.txt"
    VERBATIM)
  add_custom_target(windows_help ALL DEPENDS ${help_text})
  install(FILES ${help_text} DESTINATION doc)
else()
  message(STATUS "Windows installer without the help file: it needs help2man, groff and "
                 "${BQ_HOST_BIN_DIR}/bootquarn-cli (build the default preset first)")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION doc
        RENAME copyright.txt)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME BootQuarn)
set(CPACK_PACKAGE_VENDOR Quarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quarn <bootquarn@quarn.com.br>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware writer for Quarn devices over a serial boot loader")
set(CPACK_PACKAGE_INSTALL_DIRECTORY BootQuarn)
set(CPACK_PACKAGE_FILE_NAME BootQuarn-${PROJECT_VERSION}-win64)
# For the installer's test (tests/windows).
set(BQ_WINDOWS_INSTALLER ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.exe)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/debian/copyright)
set(CPACK_STRIP_FILES ON)
# A 64-bit installer of 64-bit programs, into "Program Files", not "(x86)".
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "BootQuarn ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "BootQuarn ${PROJECT_VERSION}")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_MENU_LINKS "doc/bootquarn-cli.txt" "BootQuarn command line help")
if(TARGET bootquarn)
  set(CPACK_PACKAGE_EXECUTABLES bootquarn BootQuarn)
endif()
include(CPack)
