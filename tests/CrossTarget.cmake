# Tests of a cross build (Windows with mingw-w64). GoogleTest is built for the
# target from the sources of Debian's googletest package, and the test
# programs run under wine in a prefix inside the build folder.
set(CALIBRATE_GTEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${CALIBRATE_GTEST_SOURCES} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# (which defines GTest::gtest and GTest::gtest_main)

