# SPDX-License-Identifier: MIT
# The NuGet package (target nuget_package, into <build>/dotnet/), made in the Windows build with
# Debian's nuget (Mono) from its manifest, Kovavantorquadrelv3.nuget.xml.in: the assembly in lib/net462/, the DLL in
# runtimes/win-x64/native/, and, given -DKOVA_NUGET_LINUX_LIBRARY=PATH (a Linux build's installed
# libkovavantorquadrelv3.so.1, whose run path is its own folder), runtimes/linux-x64/native/.
find_program(KOVA_NUGET nuget NO_CMAKE_FIND_ROOT_PATH)
if(NOT WIN32 OR NOT KOVA_NUGET)
  return()
endif()
set(KOVA_NUGET_LINUX_LIBRARY "" CACHE FILEPATH
  "A Linux build's installed libkovavantorquadrelv3.so.1, for the package's runtimes/linux-x64/native/")
set(KOVA_NUGET_DIR ${CMAKE_BINARY_DIR}/dotnet)
set(base ${KOVA_NUGET_DIR}/package)
set(KOVA_NUGET_PACKAGE ${KOVA_NUGET_DIR}/Kovavantorquadrelv3.${PROJECT_VERSION}.nupkg)
set(linux_copy "")
set(KOVA_NUGET_LINUX_ENTRY "")
if(KOVA_NUGET_LINUX_LIBRARY)
  set(linux_copy COMMAND ${CMAKE_COMMAND} -E copy ${KOVA_NUGET_LINUX_LIBRARY} ${base}/linux-x64/libkovavantorquadrelv3.so)
  set(KOVA_NUGET_LINUX_ENTRY
    "    <file src=\"linux-x64/libkovavantorquadrelv3.so\" target=\"runtimes/linux-x64/native\" />\n")
endif()
# nuget pack takes a manifest only under NuGet's own extension for it.
set(manifest ${KOVA_NUGET_DIR}/Kovavantorquadrelv3.nuspec)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/dotnet/Kovavantorquadrelv3.nuget.xml.in ${manifest} @ONLY)
add_custom_command(OUTPUT ${KOVA_NUGET_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E remove_directory ${base}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${base}/lib ${base}/win-x64 ${base}/linux-x64
  COMMAND ${CMAKE_COMMAND} -E copy ${KOVA_DOTNET_ASSEMBLY} ${base}/lib/Kovavantorquadrelv3.Net.dll
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kovavantorquadrelv3> ${base}/win-x64/kovavantorquadrelv3.dll
  ${linux_copy}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/dotnet/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${base}
  COMMAND ${KOVA_NUGET} pack ${manifest} -BasePath ${base}
          -OutputDirectory ${KOVA_NUGET_DIR} -NoPackageAnalysis -NonInteractive -Verbosity quiet
  DEPENDS kovavantorquadrelv3 ${KOVA_DOTNET_ASSEMBLY} ${manifest}
          ${CMAKE_CURRENT_SOURCE_DIR}/dotnet/README.md ${KOVA_NUGET_LINUX_LIBRARY}
  VERBATIM)
add_custom_target(nuget_package ALL DEPENDS ${KOVA_NUGET_PACKAGE})
add_dependencies(nuget_package dotnet_binding)
install(FILES ${KOVA_NUGET_PACKAGE} DESTINATION dotnet COMPONENT dotnet)
set(KOVA_NUGET_PACKAGE ${KOVA_NUGET_PACKAGE} PARENT_SCOPE)
