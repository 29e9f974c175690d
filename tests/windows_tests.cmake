# The core's and the tools' tests cross-built for Windows; ctest runs them
# through the toolchain's emulator (Wine). GoogleTest is built from Debian's
# sources, as Debian ships no MinGW build of it.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

function(wv_windows_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;TOOLS" ${ARGN})
  # windows_test_start: unbuffered output, so that a crash still shows
  # (scripts/wine-run.sh tells it from Wine not starting the program).
  add_executable(${name} ${T_SOURCES} tests/windows_test_start.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} wildview_writer gtest gtest_main)
  foreach(tool ${T_TOOLS})
    string(TOUPPER ${tool} macro)
    string(REPLACE "WILDVIEW-" "WV_" macro ${macro})
    target_compile_definitions(${name} PRIVATE ${macro}="$<TARGET_FILE:${tool}>")
    add_dependencies(${name} ${tool})
  endforeach()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 120)
endfunction()

wv_windows_test(core_tests SOURCES
  tests/diag_test.cpp tests/math_test.cpp tests/block_file_test.cpp tests/texture_database_test.cpp
  tests/thread_priority_test.cpp)
wv_windows_test(scene_tests SOURCES
  tests/value_table_test.cpp tests/mesh_test.cpp tests/scene_test.cpp tests/scene_model_test.cpp
  tests/state_test.cpp tests/terrain_test.cpp tests/effects_test.cpp)
wv_windows_test(writer_tests SOURCES tests/writer_test.cpp TOOLS wildview-mklevel)
wv_windows_test(edits_tests SOURCES tests/edits_test.cpp tests/placement_test.cpp LIBS wildview_app)
wv_windows_test(robustness_tests SOURCES tests/robustness_test.cpp)
wv_windows_test(tools_tests SOURCES tests/tools_test.cpp LIBS nlohmann_json::nlohmann_json TOOLS wildview-inspect wildview-mklevel)
wv_windows_test(output_tests SOURCES tests/output_test.cpp LIBS wildview_export
  TOOLS wildview-inspect wildview-render wildview-export)
wv_windows_test(terrain_tools_tests SOURCES tests/terrain_tools_test.cpp TOOLS wildview-inspect wildview-render)
wv_windows_test(app_tests SOURCES tests/camera_test.cpp tests/location_test.cpp LIBS wildview_app)
wv_windows_test(input_tests SOURCES tests/input_test.cpp LIBS wildview_app)
wv_windows_test(input_capture_tests SOURCES tests/input_capture_test.cpp LIBS wildview_app)
wv_windows_test(fonts_tests SOURCES tests/platform_fonts_test.cpp LIBS wildview_fonts)
wv_windows_test(glh_tests SOURCES tests/glh_extensions_test.cpp LIBS wildview_glh)
# The GL tests on the hidden window's context, read back as on Linux.
wv_windows_test(gl_tests SOURCES tests/draw_gl_test.cpp tests/picking_gl_test.cpp tests/frame_gl_test.cpp
  tests/terrain_gl_test.cpp tests/bake_gl_test.cpp tests/skew_gl_test.cpp tests/viewer_ui_test.cpp
  LIBS wildview_app wildview_headless TOOLS wildview-export)

# What only Windows does to files and paths.
wv_windows_test(windows_system_tests SOURCES tests/windows_system_test.cpp LIBS wildview_export wildview_config wildview_win32)

# The same bytes from both systems' programs, when a Linux build is at hand
# (the test command builds one first).
set(WV_LINUX_BUILD "" CACHE PATH "a Linux build of the tools, to compare the Windows ones with")
if(WV_LINUX_BUILD)
  add_test(NAME cross_system_bytes
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/cross_system_bytes.sh ${CMAKE_BINARY_DIR} ${WV_LINUX_BUILD})
  set_tests_properties(cross_system_bytes PROPERTIES TIMEOUT 300)
  # The viewer under Wine, driven by xdotool; alone, as it moves the
  # display's keyboard focus.
  add_test(NAME wine_viewer_e2e
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/wine_viewer_e2e.sh ${CMAKE_BINARY_DIR} ${WV_LINUX_BUILD})
  set_tests_properties(wine_viewer_e2e PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
