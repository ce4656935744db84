# SPDX-License-Identifier: MIT
# What an application developer installs: the library (component "runtime"), its headers, CMake
# package and pkg-config file ("development"), and the stand-in with the capture tool ("standin").
# A machine with the maker's device library installs the first two only. On Windows the stand-in
# goes into a folder of its own, standin/, so that no application ships it beside the system's DLL
# by accident; cpack -G ZIP makes the SDK archive of it all.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KOVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kovavantorquadrelv3)
set_target_properties(kovavantorquadrelv3 PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  PUBLIC_HEADER "interface/kovavantorquadrelv3.h;interface/kova_status.h;${KOVA_GENERATED_DIR}/kova_version.h;simulator/vqsim_lookup.h")
# (vqsim_lookup.h goes with the system's headers: it finds the stand-in's controls at run time and
# holds none of them.)
set_target_properties(VQUAD PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  PUBLIC_HEADER simulator/vqsim.h)
if(NOT WIN32)
  # Installed, each finds the device library beside itself; nothing points into the build tree.
  set_target_properties(kovavantorquadrelv3 PROPERTIES INSTALL_RPATH "$ORIGIN")
  set_target_properties(kova-capture kova-check PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
target_include_directories(kovavantorquadrelv3 INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/kovavantorquadrelv3>)

install(TARGETS kovavantorquadrelv3 EXPORT kovavantorquadrelv3Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kovavantorquadrelv3 COMPONENT development)
install(EXPORT kovavantorquadrelv3Targets NAMESPACE kovavantorquadrelv3:: DESTINATION ${KOVA_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/kovavantorquadrelv3Config.cmake.in
  ${KOVA_GENERATED_DIR}/kovavantorquadrelv3Config.cmake INSTALL_DESTINATION ${KOVA_CMAKE_DIR})
write_basic_package_version_file(${KOVA_GENERATED_DIR}/kovavantorquadrelv3ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${KOVA_GENERATED_DIR}/kovavantorquadrelv3Config.cmake
  ${KOVA_GENERATED_DIR}/kovavantorquadrelv3ConfigVersion.cmake DESTINATION ${KOVA_CMAKE_DIR} COMPONENT development)
# Relocatable: the prefix is found from where the file lies.
file(RELATIVE_PATH KOVA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/kovavantorquadrelv3.pc.in ${KOVA_GENERATED_DIR}/kovavantorquadrelv3.pc @ONLY)

if(WIN32)
  # The export table, from which other toolchains make their own import library; the examples; what
  # the archive tells and the licences of what it carries (Boost and the STL inside the DLL; zlib,
  # libpng and nlohmann-json inside the stand-in and its tool).
  install(FILES interface/kovavantorquadrelv3.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  install(DIRECTORY examples/ DESTINATION examples COMPONENT development)
  install(FILES README.md CHANGELOG.md LICENSE DESTINATION . COMPONENT runtime)
  install(FILES third_party/msvc-stl/LICENSE.txt third_party/msvc-stl/NOTICE.txt DESTINATION licenses/msvc-stl
    COMPONENT runtime)
  foreach(license boost:libboost1.74-dev zlib:zlib1g libpng:libpng-dev nlohmann-json:nlohmann-json3-dev)
    string(REPLACE ":" ";" license ${license})
    list(GET license 0 name)
    list(GET license 1 package)
    install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses/${name} COMPONENT runtime)
  endforeach()
  set(KOVA_STANDIN_BIN standin)
  set(KOVA_STANDIN_INCLUDE standin)
  set(KOVA_STANDIN_DATA standin)
  # The stand-in's import library serves nobody: applications link the system's.
  set(KOVA_STANDIN_ARCHIVE ARCHIVE DESTINATION standin/lib COMPONENT standin_import_library EXCLUDE_FROM_ALL)
else()
  install(FILES ${KOVA_GENERATED_DIR}/kovavantorquadrelv3.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
  install(FILES tools/kova-capture.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT standin)
  set(KOVA_STANDIN_BIN ${CMAKE_INSTALL_BINDIR})
  set(KOVA_STANDIN_INCLUDE ${CMAKE_INSTALL_INCLUDEDIR}/kovavantorquadrelv3)
  set(KOVA_STANDIN_DATA ${CMAKE_INSTALL_DATADIR}/kovavantorquadrelv3)
  set(KOVA_STANDIN_ARCHIVE ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT standin)
endif()

install(TARGETS VQUAD
  RUNTIME DESTINATION ${KOVA_STANDIN_BIN} COMPONENT standin
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT standin NAMELINK_COMPONENT standin
  ${KOVA_STANDIN_ARCHIVE}
  PUBLIC_HEADER DESTINATION ${KOVA_STANDIN_INCLUDE} COMPONENT standin)
install(TARGETS kova-capture RUNTIME DESTINATION ${KOVA_STANDIN_BIN} COMPONENT standin)
# The field check goes with the system's library: it is run where the maker's library is.
install(TARGETS kova-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# The recorder, with (on Linux) the script that puts it in front of an application, which finds it
# installed in this layout's library folder. On Windows it is copied beside the application as VQUAD.dll.
if(WIN32)
  install(TARGETS VQUAD-recorder RUNTIME DESTINATION ${KOVA_STANDIN_BIN} COMPONENT standin)
else()
  install(TARGETS VQUAD-recorder LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT standin)
  file(READ tools/kova-record KOVA_RECORD_SCRIPT)
  string(REPLACE "/../lib/libVQUAD-recorder.so" "/../${CMAKE_INSTALL_LIBDIR}/libVQUAD-recorder.so"
         KOVA_RECORD_SCRIPT "${KOVA_RECORD_SCRIPT}")
  file(WRITE ${KOVA_GENERATED_DIR}/kova-record "${KOVA_RECORD_SCRIPT}")
  install(PROGRAMS ${KOVA_GENERATED_DIR}/kova-record DESTINATION ${KOVA_STANDIN_BIN} COMPONENT standin)
endif()
# The API reference: docs/api/ of the SDK archive; on Linux the -doc package's, under share/doc.
if(KOVA_API_DOCS_HTML)
  if(WIN32)
    set(KOVA_API_DOCS_DESTINATION docs/api)
  else()
    set(KOVA_API_DOCS_DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kovavantorquadrelv3/api)
  endif()
  install(DIRECTORY ${KOVA_API_DOCS_HTML}/ DESTINATION ${KOVA_API_DOCS_DESTINATION} COMPONENT doc)
endif()
# The win_amd64 wheels in the SDK archive: the system's in python/, the stand-in's with the stand-in.
if(WIN32 AND KOVA_WHEEL_DIR)
  install(DIRECTORY ${KOVA_WHEEL_DIR}/dist/ DESTINATION python COMPONENT python
    FILES_MATCHING PATTERN "kovavantorquadrelv3-*.whl")
  install(DIRECTORY ${KOVA_WHEEL_DIR}/dist/ DESTINATION standin/python COMPONENT standin
    FILES_MATCHING PATTERN "kovavantorquadrelv3_standin-*.whl")
endif()
# Both DLLs' program databases, for the debuggers and crash dumps of a scanner's PC.
if(WIN32 AND MSVC)
  install(FILES $<TARGET_PDB_FILE:kovavantorquadrelv3> $<TARGET_PDB_FILE:VQUAD> DESTINATION symbols COMPONENT runtime)
endif()
# The scenarios and their format, for running applications against the stand-in without code.
install(DIRECTORY simulator/scenarios DESTINATION ${KOVA_STANDIN_DATA} COMPONENT standin)
install(FILES simulator/README.md DESTINATION ${KOVA_STANDIN_DATA} RENAME stand-in.md COMPONENT standin)

# The Debian package of each component, and the project's licence in each as its copyright file (the
# SDK archive has it at its top).
foreach(package runtime:libkovavantorquadrelv3-1 development:libkovavantorquadrelv3-dev
    standin:kovavantorquadrelv3-standin python:python3-kovavantorquadrelv3 dotnet:libkovavantorquadrelv3-cil
    doc:libkovavantorquadrelv3-doc)
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 component)
  list(GET package 1 name)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${name})
  if(NOT WIN32)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} RENAME copyright COMPONENT ${component})
  endif()
endforeach()
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# Debian packages, one per component: cpack -G DEB in the build folder; on Windows the SDK archive,
# cpack -G ZIP: kovavantorquadrelv3-VERSION-win64.zip, every component in one.
set(CPACK_PACKAGE_NAME kovavantorquadrelv3)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kovavantorquadrelv3-${PROJECT_VERSION}-win64)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  # Authenticode: every PE of the archive signed when a certificate is given (cmake/sign.cmake).
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/sign.cmake)
endif()
set(CPACK_PACKAGE_VENDOR "kovavantorquadrelv3")
set(CPACK_PACKAGE_CONTACT "kovavantorquadrelv3 developers <kovavantorquadrelv3@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interface layer of the QUADRELV3 fingerprint live-scan scanner")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development standin)
if(TARGET python_binding)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
if(TARGET dotnet_binding)
  list(APPEND CPACK_COMPONENTS_ALL dotnet)
endif()
if(TARGET api_docs)
  list(APPEND CPACK_COMPONENTS_ALL doc)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
  "libboost-chrono1.74.0, libboost-filesystem1.74.0, libc6 (>= 2.34), libgcc-s1, libstdc++6 (>= 12)")
# The device library: the maker's, or the stand-in.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "kovavantorquadrelv3-standin | vquad")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkovavantorquadrelv3-1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_STANDIN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_STANDIN_PACKAGE_DEPENDS
  "libkovavantorquadrelv3-1 (= ${PROJECT_VERSION}), libc6 (>= 2.34), libgcc-s1, libstdc++6 (>= 12), libpng16-16")
set(CPACK_DEBIAN_STANDIN_PACKAGE_PROVIDES "vquad")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "The kovavantorquadrelv3 shared library")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Headers, CMake package and pkg-config file of kovavantorquadrelv3")
set(CPACK_COMPONENT_STANDIN_DESCRIPTION "A stand-in for the scanner maker's device library (VQUAD), with the capture tool")
# The bindings: pure Python and a .NET assembly, on the library's package.
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy, libkovavantorquadrelv3-1 (>= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Python bindings of kovavantorquadrelv3 (ctypes and numpy)")
set(CPACK_DEBIAN_DOTNET_PACKAGE_SECTION cli-mono)
set(CPACK_DEBIAN_DOTNET_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DOTNET_PACKAGE_DEPENDS "mono-runtime, libkovavantorquadrelv3-1 (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_DOC_DESCRIPTION "API reference of kovavantorquadrelv3 (HTML)")
set(CPACK_COMPONENT_DOTNET_DESCRIPTION ".NET bindings of kovavantorquadrelv3 (Kovavantorquadrelv3.Net.dll)")
include(CPack)
