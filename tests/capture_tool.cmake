# SPDX-License-Identifier: MIT
# The capture tool end to end: real runs against the stand-in, each with its own PROGRAMDATA and
# output folder, short thanks to --fast and a few frames.
find_package(PNG REQUIRED)
add_executable(capture_tool_check capture_tool_check.c)
set_target_properties(capture_tool_check PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_include_directories(capture_tool_check PRIVATE ${CMAKE_SOURCE_DIR}/interface ${KOVA_GENERATED_DIR})
target_link_libraries(capture_tool_check PRIVATE PNG::PNG $<$<NOT:$<BOOL:${WIN32}>>:m>)

set(capture_tool_dir ${CMAKE_CURRENT_BINARY_DIR}/capture_tool)
# Under Wine the log lands in the prefix's ProgramData, whatever PROGRAMDATA says.
if(WIN32)
  set(capture_tool_log "log file: C:.ProgramData.Celdra.Nivora SDK.kovavantorquadrelv3.log")
  set(capture_tool_programdata "C:/ProgramData")
else()
  set(capture_tool_log "log file: ${capture_tool_dir}/capture_tool_run/programdata/Celdra/Nivora SDK/kovavantorquadrelv3.log")
  set(capture_tool_programdata ${capture_tool_dir}/capture_tool_run/programdata)
endif()

# capture_tool_test(NAME EXIT EXPECT-LIST TOOL-ARGS...): the tool's run judged by capture_tool_run.cmake.
# The program is kova-capture, or capture_tool_program where the caller sets it.
function(capture_tool_test name exit expect)
  set(program $<TARGET_FILE:kova-capture>)
  if(capture_tool_program)
    set(program ${capture_tool_program})
  endif()
  set(programdata ${capture_tool_dir}/${name}/programdata)
  string(REPLACE ";" "$<SEMICOLON>" expect "${expect}")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DPROGRAMDATA=${programdata} -DEXIT=${exit} "-DEXPECT=${expect}"
            -DCLEAN=${capture_tool_dir}/${name} -P ${CMAKE_CURRENT_SOURCE_DIR}/capture_tool_run.cmake
            -- ${CMAKE_CROSSCOMPILING_EMULATOR} ${program} ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120)
endfunction()

# A whole run; its files are then examined by the checker.
capture_tool_test(capture_tool_run 0
  "wrote .*/raw_frame.png;wrote .*/corrected_frame.png;frames 8/8;status thread: ended;${capture_tool_log}"
  --frames 8 --fast --out ${capture_tool_dir}/capture_tool_run/out)
set_tests_properties(capture_tool_run PROPERTIES FIXTURES_SETUP capture_tool_output)
add_test(NAME capture_tool_files
  COMMAND capture_tool_check ${capture_tool_dir}/capture_tool_run/out ${capture_tool_programdata})
set_tests_properties(capture_tool_files PROPERTIES FIXTURES_REQUIRED capture_tool_output TIMEOUT 60
  SKIP_RETURN_CODE 77)

# The scanner unplugged mid-run and plugged back: the status thread sees 9005, the tool reopens and finishes.
capture_tool_test(capture_tool_unplug 0
  "KovaGetStatus\\(0x[0-9a-f]+\\) -> 9005 \\(Device Unavail: no usable scanner, or it was unplugged;reopened QV3-0001: handle;frames 12/12;wrote .*/raw_frame.png;status thread: ended"
  --frames 12 --unplug-after 4 --fast --out ${capture_tool_dir}/capture_tool_unplug/out)

# A refused call names itself, its code and its text, and the tool still shuts down.
capture_tool_test(capture_tool_refusal failure
  "KovaOpenDevice_N failed: 9005 \\(Device Unavail: ;log file: "
  --sensor QV3-9999 --out ${capture_tool_dir}/capture_tool_refusal/out)

# A scenario file: capture faults during the run are reported by the status thread, and the run ends
# well; an unreadable file is named by the stand-in and refused.
capture_tool_test(capture_tool_scenario 0
  "KovaGetStatus\\(0x[0-9a-f]+\\) -> 9005;frames 40/40;status thread: ended"
  --scenario ${CMAKE_SOURCE_DIR}/simulator/scenarios/capture-faults.json --frames 40 --fast
  --out ${capture_tool_dir}/capture_tool_scenario/out)
capture_tool_test(capture_tool_bad_scenario failure
  "VQUAD stand-in: [^\n]*missing.json: cannot read the scenario file;KovaInitialize_N failed: 9000"
  --scenario ${capture_tool_dir}/missing.json --out ${capture_tool_dir}/capture_tool_bad_scenario/out)
# Any application, unchanged: the scenario comes through the environment.
capture_tool_test(capture_tool_scenario_environment 0 "^QV3-0001  serial number 5A1C0042 [^\n]*\nQV3-0002  serial number 5A1C0077 "
  --list)
set_tests_properties(capture_tool_scenario_environment PROPERTIES
  ENVIRONMENT VQSIM_SCENARIO=${CMAKE_SOURCE_DIR}/simulator/scenarios/two-scanners.json)

# A dirty scanner is open: said, and the run goes on. Serial numbers the tool must still recognise after
# a replug: one longer than the device information's field, one without '-' (its device information
# answers 9000).
capture_tool_test(capture_tool_dirty 0 "QV3-0001 is open but reports itself dirty \\(9020\\);frames 3/3"
  --scenario ${CMAKE_SOURCE_DIR}/simulator/scenarios/dirty-scanner.json --frames 3 --fast
  --out ${capture_tool_dir}/capture_tool_dirty/out)
capture_tool_test(capture_tool_long_serial 0
  "serial number 5A1C0042ABCDEFGH;notification: scanner QV3-0001 unplugged;reopened QV3-0001;frames 8/8"
  --scenario ${CMAKE_CURRENT_SOURCE_DIR}/scenarios/long-serial.json --unplug-after 3 --frames 8 --fast
  --out ${capture_tool_dir}/capture_tool_long_serial/out)
capture_tool_test(capture_tool_serial_without_dash 0
  "device information: 9000 [^\n]*the serial number has no '-'; going on;reopened QV3-0001;frames 8/8"
  --scenario ${CMAKE_CURRENT_SOURCE_DIR}/scenarios/serial-without-dash.json --unplug-after 3 --frames 8 --fast
  --out ${capture_tool_dir}/capture_tool_serial_without_dash/out)

capture_tool_test(capture_tool_help 0
  "--sensor;--frames;--out;--level;--list;--json;--scenario;--unplug-after;--fast;--version;--help" --help)

# The scanners, as lines and as JSON; the version; wrong options and folders, refused at once.
capture_tool_test(capture_tool_list 0 "^QV3-0001  serial number 5A1C0042  descriptor code " --list)
capture_tool_test(capture_tool_list_json 0
  "\"sensor_id\": \"QV3-0001\";\"serial_number\": \"5A1C0042\";\"capture_type\": 4;\"library_version\": \"${PROJECT_VERSION}\""
  --list --json)
capture_tool_test(capture_tool_version 0 "^kova-capture ${PROJECT_VERSION}" --version)
capture_tool_test(capture_tool_bad_frames 2 "--frames takes a whole number from 1 to 1000000, not '0'" --frames 0)
# A log folder that cannot be made is named once, not a log file that does not exist.
if(NOT WIN32)
  add_test(NAME capture_tool_unwritable_log
    COMMAND ${CMAKE_COMMAND} -DPROGRAMDATA=${CMAKE_CURRENT_SOURCE_DIR}/capture_tool.cmake -DEXIT=0
            "-DEXPECT=log: nothing could be written: the folder ${CMAKE_CURRENT_SOURCE_DIR}/capture_tool.cmake/Celdra/Nivora SDK cannot"
            -DCLEAN=${capture_tool_dir}/capture_tool_unwritable_log -P ${CMAKE_CURRENT_SOURCE_DIR}/capture_tool_run.cmake
            -- $<TARGET_FILE:kova-capture> --frames 2 --fast --out ${capture_tool_dir}/capture_tool_unwritable_log/out)
  set_tests_properties(capture_tool_unwritable_log PROPERTIES TIMEOUT 120)
endif()
capture_tool_test(capture_tool_bad_out 1 "cannot write into ${CMAKE_CURRENT_SOURCE_DIR}/capture_tool.cmake/out"
  --out ${CMAKE_CURRENT_SOURCE_DIR}/capture_tool.cmake/out --frames 2)

# Beside the maker's library: a stand-in built the maker's way (the device library's interface is
# all it exports), in a folder of its own with the tool and the system's library. The tool lists,
# opens and captures with it, and refuses what needs the stand-in.
set(maker_dir ${CMAKE_CURRENT_BINARY_DIR}/maker-shaped)
kova_stand_in(VQUAD_maker_shaped)
target_compile_definitions(VQUAD_maker_shaped PRIVATE VQSIM_MAKER_SHAPED)
set_target_properties(VQUAD_maker_shaped PROPERTIES OUTPUT_NAME VQUAD LIBRARY_OUTPUT_DIRECTORY ${maker_dir}
  RUNTIME_OUTPUT_DIRECTORY ${maker_dir} ARCHIVE_OUTPUT_DIRECTORY ${maker_dir}/lib
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
if(WIN32)
  add_dependencies(VQUAD_maker_shaped kova-capture kovavantorquadrelv3)
  add_custom_command(TARGET VQUAD_maker_shaped POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kova-capture> $<TARGET_FILE:kovavantorquadrelv3> ${maker_dir})
  set(capture_tool_program ${maker_dir}/kova-capture.exe)
else()
  set(capture_tool_program $<TARGET_FILE:kova-capture>)
endif()
capture_tool_test(capture_tool_maker_shaped_list 0 "^QV3-0001  serial number 5A1C0042" --list)
capture_tool_test(capture_tool_maker_shaped_run 0 "frames 3/3;wrote .*/raw_frame.png;status thread: ended"
  --frames 3 --out ${capture_tool_dir}/capture_tool_maker_shaped_run/out)
capture_tool_test(capture_tool_maker_shaped_panel 2
  "^kova-capture: --panel needs the stand-in, and the device library in use is not the stand-in\r?\n$" --panel 0)
unset(capture_tool_program)
if(NOT WIN32)
  set_tests_properties(capture_tool_maker_shaped_list capture_tool_maker_shaped_run capture_tool_maker_shaped_panel
    PROPERTIES ENVIRONMENT LD_LIBRARY_PATH=${maker_dir})
endif()

# No program the project ships imports a control of the stand-in (the examples are checked where
# they are built on the installed library).
add_test(NAME no_stand_in_imports COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/check_no_stand_in_imports.sh
  $<TARGET_FILE:kova-capture> $<TARGET_FILE:kovavantorquadrelv3>)
if(WIN32)
  set_tests_properties(no_stand_in_imports PROPERTIES ENVIRONMENT OBJDUMP=${CMAKE_OBJDUMP})
endif()
