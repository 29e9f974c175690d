# The core's tests cross-built for Windows; ctest runs them through the
# toolchain's emulator (Wine). GoogleTest is built from Debian's sources, as
# Debian ships no MinGW build of it.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_executable(core_tests
  tests/diag_test.cpp
  tests/math_test.cpp
  tests/block_file_test.cpp
  tests/texture_database_test.cpp
)
target_link_libraries(core_tests PRIVATE wildview_writer gtest gtest_main)
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 120)
