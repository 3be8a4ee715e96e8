# What `cmake --install` puts where, and the release archives CPack makes of it
# (`cmake --build --preset <preset> --target package`): a zip, a setup and the manifests of
# winget and Scoop on Windows; a tar.gz and a .deb on Linux. The executables in them are stripped.
include(GNUInstallDirs)

set(VELTRIM_HOMEPAGE "https://veltrim.invalid/" CACHE STRING "The project's home page")

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
  # The manual page and the changelog compressed as Debian's policy has them: gzip -9, and -n
  # so that no name or time goes in and the same sources make the same package. A native
  # package (its version has no Debian revision) names its changelog changelog.gz.
  find_program(VELTRIM_GZIP gzip)
  if(VELTRIM_GZIP)
    set(docs ${PROJECT_BINARY_DIR}/package-docs)
    add_custom_command(OUTPUT ${docs}/veltrim.1.gz ${docs}/changelog.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${docs}
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/veltrim.1 ${docs}/veltrim.1
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/changelog ${docs}/changelog
      COMMAND ${VELTRIM_GZIP} -9nf ${docs}/veltrim.1 ${docs}/changelog
      DEPENDS doc/veltrim.1 doc/changelog
      VERBATIM)
    add_custom_target(veltrim_package_docs ALL DEPENDS ${docs}/veltrim.1.gz ${docs}/changelog.gz)
    install(FILES ${docs}/veltrim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    install(FILES doc/veltrim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    message(STATUS "gzip not found: the manual page is installed uncompressed, and no .deb is made")
  endif()
  # Where Debian keeps a package's licence.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

  # Every package names the processor it runs on, a cross-build's too: Debian's name for it
  # in the .deb (dpkg would give the build machine's), the GNU name in the tarball's.
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  endif()
  if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE AND VELTRIM_GZIP)
    list(APPEND CPACK_GENERATOR DEB)
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/lintian-overrides.cmake)
  elseif(VELTRIM_GZIP)
    message(STATUS "No Debian name known for ${CMAKE_SYSTEM_PROCESSOR}: no .deb is made")
  endif()
endif()

set(CPACK_PACKAGE_NAME veltrim)
set(CPACK_PACKAGE_VENDOR "Veltrim developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts a CSS file to line form, one rule per line")
set(CPACK_PACKAGE_CONTACT "Veltrim developers <developers@veltrim.invalid>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELTRIM_HOMEPAGE})
# The .deb's extended description, after the summary line: CPack keeps its lines as they are,
# and Debian wants them under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "Veltrim turns a CSS file into its line form: comments removed, runs of
blanks dropped or squeezed to one space, and every rule whole on one line
ending in CR LF. The result goes to a file beside the input, named with .olf
for .css; 'veltrim -' converts standard input to standard output.

Files in UTF-8, or in any encoding that keeps ASCII as ASCII, are converted as
bytes; one that starts with a UTF-16 or UTF-32 byte order mark is converted
over its code units and written back in the same encoding.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
include(CPack)
