# Third-party dependencies and the compile settings every module shares.
set(NETSETTER_DEPS ${CMAKE_SOURCE_DIR}/.deps)
if(NOT EXISTS ${NETSETTER_DEPS}/sysinclude)
  message(FATAL_ERROR "Run tools/setup.sh first: ${NETSETTER_DEPS} is missing")
endif()

find_package(glog 0.6.0 REQUIRED CONFIG)

add_library(NetsetterOptions INTERFACE)
target_compile_definitions(NetsetterOptions INTERFACE
  UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX
  FMT_HEADER_ONLY BOOST_ALL_NO_LIB BOOST_FILESYSTEM_NO_DEPRECATED
  GLOG_NO_ABBREVIATED_SEVERITIES)
target_compile_options(NetsetterOptions INTERFACE -Wall -Wextra -Wno-unknown-pragmas)
target_include_directories(NetsetterOptions SYSTEM INTERFACE ${NETSETTER_DEPS}/sysinclude)
target_link_libraries(NetsetterOptions INTERFACE
  glog::glog
  ${NETSETTER_DEPS_PREFIX}/lib/libboost_filesystem.a
  bcrypt ws2_32 mswsock)
