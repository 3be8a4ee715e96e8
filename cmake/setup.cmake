# Run by CPack after it has made the zip (CPACK_POST_BUILD_SCRIPTS, from packaging.cmake):
# the setup from the zip's own files, so that both hold the same stripped executable and
# CR LF notes, then the winget and Scoop manifests with the SHA-256 of the setup and the zip.
include(${CPACK_VELTRIM_SETUP_CONFIG})  # VELTRIM_PATH_HELPER, the helper's built file

set(version ${CPACK_PACKAGE_VERSION})
set(out_dir ${CPACK_PACKAGE_DIRECTORY})
set(zip "")
foreach(file IN LISTS CPACK_PACKAGE_FILES)
  if(file MATCHES "\\.zip$")
    set(zip ${file})
  endif()
endforeach()
if(NOT zip)
  message(FATAL_ERROR "setup: CPack made no zip (${CPACK_PACKAGE_FILES})")
endif()

set(payload ${out_dir}/_CPack_Packages/setup-payload)
file(REMOVE_RECURSE ${payload})
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${payload})

set(setup_name veltrim-${version}-setup.exe)
set(setup ${out_dir}/${setup_name})
string(REPLACE "." ";" numbers "${version}.0.0.0")
list(SUBLIST numbers 0 4 numbers)
list(JOIN numbers "." version4)
file(TO_NATIVE_PATH "${payload}" payload_native)
# The product's icon, which veltrim.exe carries too, on the setup and its uninstaller.
get_filename_component(source_dir ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(icon ${source_dir}/src/driver/veltrim.ico)
execute_process(
  COMMAND ${CPACK_VELTRIM_MAKENSIS} -V2 -INPUTCHARSET UTF8 -NOCD
          -DVERSION=${version} -DVERSION4=${version4}
          "-DPUBLISHER=${CPACK_PACKAGE_VENDOR}"
          -DPAYLOAD=${payload} -DHELPER=${VELTRIM_PATH_HELPER} -DICON=${icon}
          -DOUTFILE=${setup}
          ${CPACK_VELTRIM_SETUP_SCRIPT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "setup: makensis failed (${status})")
endif()
message(STATUS "setup: ${setup} generated.")

# The manifests, from the templates beside this script.
set(WINGET_ID Veltrim.Veltrim)
set(VERSION ${version})
set(PUBLISHER ${CPACK_PACKAGE_VENDOR})
set(SUMMARY ${CPACK_PACKAGE_DESCRIPTION_SUMMARY})
set(HOMEPAGE ${CPACK_VELTRIM_HOMEPAGE})
string(REGEX REPLACE "/+$" "" DOWNLOAD_URL "${CPACK_VELTRIM_DOWNLOAD_URL}")
set(SETUP_NAME ${setup_name})
get_filename_component(ZIP_NAME ${zip} NAME)
file(SHA256 ${setup} SETUP_SHA256)
file(SHA256 ${zip} ZIP_SHA256)
# Scoop's checkver finds the newest version on the home page, by the name of the zip that the
# page links; autoupdate then takes the zip of that version from the address of this one, with
# the version, wherever it stands whole in the folder's address or the zip's name, as $version.
string(REPLACE "." "\\." version_re "${version}")
string(REPLACE "." "\\." zip_re "${ZIP_NAME}")
string(REPLACE "${version_re}" "(\\d+(?:\\.\\d+)*)" CHECKVER_REGEX "${zip_re}")
string(REPLACE "\\" "\\\\" CHECKVER_REGEX "${CHECKVER_REGEX}")  # a JSON string
set(AUTOUPDATE_URL "${DOWNLOAD_URL}/${ZIP_NAME}")
# Twice: a boundary character that one match takes cannot start the next one.
foreach(pass 1 2)
  string(REGEX REPLACE "(^|[^0-9.])${version_re}([^0-9.]|$)" "\\1$version\\2"
         AUTOUPDATE_URL "${AUTOUPDATE_URL}")
endforeach()
get_filename_component(templates ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
set(templates ${templates}/manifests)
set(winget ${out_dir}/manifests/winget/${WINGET_ID})
file(REMOVE_RECURSE ${out_dir}/manifests)
configure_file(${templates}/winget.version.yaml.in ${winget}.yaml @ONLY)
configure_file(${templates}/winget.locale.en-US.yaml.in ${winget}.locale.en-US.yaml @ONLY)
configure_file(${templates}/winget.installer.yaml.in ${winget}.installer.yaml @ONLY)
configure_file(${templates}/scoop.json.in ${out_dir}/manifests/scoop/veltrim.json @ONLY)
message(STATUS "setup: manifests for ${DOWNLOAD_URL} in ${out_dir}/manifests generated.")
