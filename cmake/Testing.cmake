# Cross-built tests run under Wine through the emulator wrapper; ctest discovers GoogleTest cases before running them.
find_package(GTest REQUIRED CONFIG)
include(GoogleTest)

set(NETSETTER_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")
set(NETSETTER_TESTSERVER_DIR ${CMAKE_BINARY_DIR}/testserver)

# The scriptable HTTP server on 127.0.0.1: started once per ctest run, shared by the tests that need it.
add_test(NAME testserver.start
  COMMAND ${CMAKE_SOURCE_DIR}/tools/testserver/control.sh start ${NETSETTER_TESTSERVER_DIR})
add_test(NAME testserver.stop
  COMMAND ${CMAKE_SOURCE_DIR}/tools/testserver/control.sh stop ${NETSETTER_TESTSERVER_DIR})
set_tests_properties(testserver.start PROPERTIES FIXTURES_SETUP testserver)
set_tests_properties(testserver.stop PROPERTIES FIXTURES_CLEANUP testserver)

# Every test program runs through Wine with the project's prefix and sees where the server's ports are written
# and where the built programs and the sources are (the emulator passes the variables on to the program).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env
  "WINEPREFIX=${NETSETTER_WINEPREFIX}"
  "NETSETTER_TESTSERVER_DIR=Z:${NETSETTER_TESTSERVER_DIR}"
  "NETSETTER_BIN_DIR=Z:${CMAKE_BINARY_DIR}/bin"
  "NETSETTER_SOURCE_DIR=Z:${CMAKE_SOURCE_DIR}"
  ${CMAKE_SOURCE_DIR}/tools/wine-test.sh)

# netsetter_add_tests(<name> SOURCES ... [LIBS ...] [GUI] [TIMEOUT s] [SESSION])
# GUI: window tests (label gui, run one at a time on the display tools/test.sh starts).
# SESSION: tests that start installer.exe; they take the session lock the window tests take, as every installer.exe
# of the session shares one single-instance mutex.
# Builds one GoogleTest executable and registers each of its cases with ctest.
function(netsetter_add_tests name)
  cmake_parse_arguments(T "GUI;SESSION" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/test-manifest.rc)
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/cmake/test-manifest.rc APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/test.manifest)
  target_link_libraries(${name} PRIVATE ${T_LIBS} NetsetterTestSupport GTest::gmock GTest::gtest_main NetsetterOptions)
  set(labels unit)
  set(gui_properties)
  if(T_SESSION)
    set(gui_properties RESOURCE_LOCK session)
  endif()
  if(T_GUI)
    set(labels gui)
    # Window tests share one display, its pointer and its focus, and the installer's single-instance mutex: they
    # run one at a time.
    set(gui_properties RESOURCE_LOCK session)
    set_property(GLOBAL APPEND PROPERTY NETSETTER_GUI_TESTS ${name})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_PREFIX "${name}."
    PROPERTIES
      FIXTURES_REQUIRED testserver
      LABELS "${labels}"
      TIMEOUT ${T_TIMEOUT}
      ${gui_properties})
endfunction()

# netsetter_add_test_folder(<name> <folder> [LIBS ...] [GUI]): every .cpp of the folder makes one test executable.
function(netsetter_add_test_folder name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(sources)
    netsetter_add_tests(${name} SOURCES ${sources} ${ARGN})
  endif()
endfunction()

add_test(NAME binaries.check COMMAND ${CMAKE_SOURCE_DIR}/tools/check-binaries.sh ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(binaries.check PROPERTIES LABELS unit)
