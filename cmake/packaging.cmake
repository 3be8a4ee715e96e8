# What `cmake --install` puts where, and the release archives CPack makes of it
# (`cmake --build --preset <preset> --target package`): a zip, a setup and the manifests of
# winget and Scoop on Windows; a tar.gz and a .deb on Linux. The executables in them are stripped.
include(GNUInstallDirs)

if(WIN32)
  # One folder to unpack anywhere: the executable with its notes, in the line ends Notepad
  # and every Windows editor show.
  install(TARGETS veltrim RUNTIME DESTINATION .)
  configure_file(doc/README.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  # The files at the top of the zip, so that unpacking it into a folder of one's choosing, as
  # README.txt says, puts veltrim.exe right in that folder.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_SYSTEM_NAME win64)

  # The setup (cmake/setup.nsi) and the winget and Scoop manifests, made after the zip from
  # its files. The manifests point at VELTRIM_DOWNLOAD_URL, the folder a release puts the
  # setup and the zip in; the default is a stand-in that CI checks the manifests with.
  set(VELTRIM_DOWNLOAD_URL "https://veltrim.invalid/releases/${PROJECT_VERSION}" CACHE STRING
      "Address of the folder holding the release's setup and zip, for the manifests")
  set(VELTRIM_HOMEPAGE "https://veltrim.invalid/" CACHE STRING "The project's home page")
  find_program(VELTRIM_MAKENSIS makensis)
  if(VELTRIM_MAKENSIS)
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/setup-config.cmake
         CONTENT "set(VELTRIM_PATH_HELPER \"$<TARGET_FILE:veltrim_path>\")\n")
    set(CPACK_VELTRIM_SETUP_CONFIG ${PROJECT_BINARY_DIR}/setup-config.cmake)
    set(CPACK_VELTRIM_SETUP_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/setup.nsi)
    set(CPACK_VELTRIM_MAKENSIS ${VELTRIM_MAKENSIS})
    set(CPACK_VELTRIM_DOWNLOAD_URL ${VELTRIM_DOWNLOAD_URL})
    set(CPACK_VELTRIM_HOMEPAGE ${VELTRIM_HOMEPAGE})
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/setup.cmake)
  else()
    message(STATUS "makensis not found: the package target makes the zip alone (Debian: nsis)")
  endif()
else()
  install(TARGETS veltrim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/veltrim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Where Debian keeps a package's licence.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  set(CPACK_GENERATOR TGZ DEB)
endif()

set(CPACK_PACKAGE_NAME veltrim)
set(CPACK_PACKAGE_VENDOR "Veltrim developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts a CSS file to line form, one rule per line")
set(CPACK_PACKAGE_CONTACT "Veltrim developers <developers@veltrim.invalid>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
include(CPack)
