# Run by CPack for each package once its files are staged (CPACK_PRE_BUILD_SCRIPTS, from
# packaging.cmake). Debian's checker takes the static PIE executable for a shared library
# that names none of the libraries it needs: it needs none, by design (veltrim_link_static in
# CMakeLists.txt). The .deb alone says so, in the file the checker reads.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(dir ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides)
file(MAKE_DIRECTORY ${dir})
file(WRITE ${dir}/${CPACK_PACKAGE_NAME}
     "${CPACK_PACKAGE_NAME}: shared-library-lacks-prerequisites [usr/bin/veltrim]\n")
file(CHMOD ${dir}/${CPACK_PACKAGE_NAME} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
