# SPDX-License-Identifier: MIT
# The wheels (target python_wheel, into <build>/python/dist/): the system's, with the binding and the
# system's library, and the stand-in's apart, with its device library. Made with Debian's
# python3-build and setuptools, without a network; the platform tag is the library's (win_amd64 in
# the Windows build). The Linux wheel takes the installed library, whose run path is its own folder.
if(KOVA_PYTHON)
  execute_process(COMMAND ${KOVA_PYTHON} -c "import build, setuptools, wheel"
    RESULT_VARIABLE kova_no_build OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT KOVA_PYTHON OR kova_no_build)
  message(STATUS "No python3-build: no wheels")
  return()
endif()
include(GNUInstallDirs)
set(KOVA_WHEEL_DIR ${CMAKE_BINARY_DIR}/python)
set(source ${CMAKE_CURRENT_SOURCE_DIR}/python)
set(make_wheel ${KOVA_PYTHON} ${source}/make_wheel.py --out ${KOVA_WHEEL_DIR}/dist)
if(WIN32)
  set(system_library kovavantorquadrelv3.dll=$<TARGET_FILE:kovavantorquadrelv3>)
  set(standin_library VQUAD.dll=$<TARGET_FILE:VQUAD>)
  set(get_system_library "")
  set(strip "")
else()
  set(prefix ${KOVA_WHEEL_DIR}/prefix)
  set(system_library libkovavantorquadrelv3.so.1=${prefix}/${CMAKE_INSTALL_LIBDIR}/libkovavantorquadrelv3.so.1)
  set(standin_library libVQUAD.so.1=$<TARGET_FILE:VQUAD>)
  set(get_system_library COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component runtime --prefix ${prefix})
  set(strip --strip ${CMAKE_STRIP})
endif()
set(python_sources ${source}/pyproject.toml ${source}/setup.py ${source}/make_wheel.py ${source}/README.md
  ${source}/kovavantorquadrelv3/__init__.py ${source}/kovavantorquadrelv3/py.typed)
add_custom_command(OUTPUT ${KOVA_WHEEL_DIR}/system.stamp
  ${get_system_library}
  COMMAND ${make_wheel} --project ${source} --stage ${KOVA_WHEEL_DIR}/system
          --package kovavantorquadrelv3=${KOVA_PYTHON_PACKAGE} --file ${system_library} ${strip}
  COMMAND ${CMAKE_COMMAND} -E touch ${KOVA_WHEEL_DIR}/system.stamp
  DEPENDS kovavantorquadrelv3 ${KOVA_PYTHON_PACKAGE}/__init__.py ${KOVA_PYTHON_PACKAGE}/_header.py ${python_sources}
  VERBATIM)
add_custom_command(OUTPUT ${KOVA_WHEEL_DIR}/standin.stamp
  COMMAND ${make_wheel} --project ${source}/standin --stage ${KOVA_WHEEL_DIR}/standin
          --package kovavantorquadrelv3_standin=${source}/standin/kovavantorquadrelv3_standin
          --file ${standin_library} --version ${PROJECT_VERSION} ${strip}
  COMMAND ${CMAKE_COMMAND} -E touch ${KOVA_WHEEL_DIR}/standin.stamp
  DEPENDS VQUAD ${source}/standin/pyproject.toml ${source}/standin/README.md ${source}/setup.py
          ${source}/make_wheel.py ${source}/standin/kovavantorquadrelv3_standin/__init__.py
  VERBATIM)
add_custom_target(python_wheel ALL DEPENDS ${KOVA_WHEEL_DIR}/system.stamp ${KOVA_WHEEL_DIR}/standin.stamp)
add_dependencies(python_wheel python_binding)
set(KOVA_WHEEL_DIR ${KOVA_WHEEL_DIR} PARENT_SCOPE)
