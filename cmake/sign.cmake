# SPDX-License-Identifier: MIT
# Run by cpack before it packs: when KOVA_SIGN_PKCS12 names a PKCS#12 certificate (KOVA_SIGN_PASSWORD
# its password, KOVA_SIGN_TIMESTAMP_URL an optional RFC 3161 time-stamp server), every DLL and
# program staged for the archive is Authenticode-signed with osslsigncode, in place. Without it the
# archive is left unsigned.
if(NOT DEFINED ENV{KOVA_SIGN_PKCS12} OR "$ENV{KOVA_SIGN_PKCS12}" STREQUAL "")
  return()
endif()
find_program(KOVA_OSSLSIGNCODE osslsigncode)
if(NOT KOVA_OSSLSIGNCODE)
  message(FATAL_ERROR "KOVA_SIGN_PKCS12 is set, but osslsigncode is not installed (apt-get install osslsigncode)")
endif()
set(timestamp "")
if(NOT "$ENV{KOVA_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{KOVA_SIGN_TIMESTAMP_URL}")
endif()
file(GLOB_RECURSE binaries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.dll" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${KOVA_OSSLSIGNCODE} sign -pkcs12 "$ENV{KOVA_SIGN_PKCS12}" -pass "$ENV{KOVA_SIGN_PASSWORD}"
      -h sha256 -n "kovavantorquadrelv3" ${timestamp} -in "${binary}" -out "${binary}.signed"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "signing ${binary} failed: ${output}")
  endif()
  file(RENAME "${binary}.signed" "${binary}")
endforeach()
list(LENGTH binaries count)
message(STATUS "signed ${count} binaries")
