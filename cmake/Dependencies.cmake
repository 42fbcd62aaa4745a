# Third-party dependencies and the compile settings every module shares.
set(NETSETTER_DEPS ${CMAKE_SOURCE_DIR}/.deps)
if(NOT EXISTS ${NETSETTER_DEPS}/sysinclude)
  message(FATAL_ERROR "Run tools/setup.sh first: ${NETSETTER_DEPS} is missing")
endif()

find_package(glog 0.6.0 REQUIRED CONFIG)

# Boost.Filesystem is compiled here from the sources tools/setup.sh extracts, with the build's own flags: in the
# release configuration the linker then keeps only the functions a module calls.
file(GLOB NETSETTER_BOOST_FILESYSTEM_SOURCES ${NETSETTER_DEPS}/src/boostfs/*/libs/filesystem/src/*.cpp)
if(NOT NETSETTER_BOOST_FILESYSTEM_SOURCES)
  message(FATAL_ERROR "Run tools/setup.sh first: the Boost.Filesystem sources are missing")
endif()
add_library(BoostFilesystem STATIC ${NETSETTER_BOOST_FILESYSTEM_SOURCES})
target_compile_definitions(BoostFilesystem PRIVATE
  _WIN32_WINNT=0x0A00 BOOST_FILESYSTEM_STATIC_LINK=1 BOOST_FILESYSTEM_NO_DEPRECATED BOOST_ALL_NO_LIB)
target_include_directories(BoostFilesystem SYSTEM PRIVATE ${NETSETTER_DEPS}/sysinclude)
target_link_libraries(BoostFilesystem PUBLIC bcrypt)

add_library(NetsetterOptions INTERFACE)
target_compile_definitions(NetsetterOptions INTERFACE
  UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX
  FMT_HEADER_ONLY BOOST_ALL_NO_LIB BOOST_FILESYSTEM_NO_DEPRECATED
  GLOG_NO_ABBREVIATED_SEVERITIES)
target_compile_options(NetsetterOptions INTERFACE -Wall -Wextra -Wno-unknown-pragmas)
target_include_directories(NetsetterOptions SYSTEM INTERFACE ${NETSETTER_DEPS}/sysinclude)
target_link_libraries(NetsetterOptions INTERFACE
  glog::glog
  BoostFilesystem
  bcrypt ws2_32 mswsock)
