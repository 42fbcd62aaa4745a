# Third-party dependencies and the compile settings every module shares.
set(NETSETTER_DEPS ${CMAKE_SOURCE_DIR}/.deps)
if(NOT EXISTS ${NETSETTER_DEPS}/sysinclude)
  message(FATAL_ERROR "Run tools/setup.sh first: ${NETSETTER_DEPS} is missing")
endif()

find_package(glog 0.6.0 REQUIRED CONFIG)

# Third-party code every module uses is built once, into a DLL of its own beside the modules (cmake/Install.cmake
# ships each one listed here).
set(NETSETTER_THIRD_PARTY_DLLS)

# Boost.Filesystem, compiled from the sources tools/setup.sh extracts.
file(GLOB NETSETTER_BOOST_FILESYSTEM_SOURCES ${NETSETTER_DEPS}/src/boostfs/*/libs/filesystem/src/*.cpp)
if(NOT NETSETTER_BOOST_FILESYSTEM_SOURCES)
  message(FATAL_ERROR "Run tools/setup.sh first: the Boost.Filesystem sources are missing")
endif()
add_library(BoostFilesystem SHARED ${NETSETTER_BOOST_FILESYSTEM_SOURCES})
set_target_properties(BoostFilesystem PROPERTIES OUTPUT_NAME boost_filesystem)
target_compile_definitions(BoostFilesystem
  PUBLIC BOOST_FILESYSTEM_DYN_LINK=1
  PRIVATE BOOST_FILESYSTEM_SOURCE _WIN32_WINNT=0x0A00 BOOST_FILESYSTEM_NO_DEPRECATED BOOST_ALL_NO_LIB)
target_include_directories(BoostFilesystem SYSTEM PRIVATE ${NETSETTER_DEPS}/sysinclude)
target_link_libraries(BoostFilesystem PRIVATE bcrypt)
list(APPEND NETSETTER_THIRD_PARTY_DLLS BoostFilesystem)

# Boost.URL: its whole compiled part (src.hpp) in one DLL. The vtables of its classes are not marked for export in
# the headers, so the .def file adds those the modules' inline code refers to, as DATA (without it the import
# library offers a call stub under the vtable's name, and objects get the stub's address as their vtable).
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deps/BoostUrl.cpp CONTENT "#include <boost/url/src.hpp>\n")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deps/BoostUrl.def CONTENT "EXPORTS
  _ZTVN5boost4urls3urlE DATA
  _ZTVN5boost4urls8url_baseE DATA
  _ZTVN5boost4urls14authority_viewE DATA
  _ZTVN5boost4urls15static_url_baseE DATA
")
add_library(BoostUrl SHARED ${CMAKE_BINARY_DIR}/deps/BoostUrl.cpp ${CMAKE_BINARY_DIR}/deps/BoostUrl.def)
set_target_properties(BoostUrl PROPERTIES OUTPUT_NAME boost_url)
target_compile_definitions(BoostUrl PUBLIC BOOST_URL_DYN_LINK=1 PRIVATE _WIN32_WINNT=0x0A00 BOOST_ALL_NO_LIB)
target_include_directories(BoostUrl SYSTEM PRIVATE ${NETSETTER_DEPS}/sysinclude)
list(APPEND NETSETTER_THIRD_PARTY_DLLS BoostUrl)

# fmt: the compiled part (format.cc from the Debian source tools/setup.sh extracts) in one DLL, used with
# fmt's headers from the same release.
set(NETSETTER_FMT_SOURCE ${NETSETTER_DEPS}/src/fmt/src/format.cc)
if(NOT EXISTS ${NETSETTER_FMT_SOURCE})
  message(FATAL_ERROR "Run tools/setup.sh first: the fmt sources are missing")
endif()
add_library(Fmt SHARED ${NETSETTER_FMT_SOURCE})
set_target_properties(Fmt PROPERTIES OUTPUT_NAME fmt)
target_compile_definitions(Fmt PRIVATE FMT_EXPORT INTERFACE FMT_SHARED)
target_include_directories(Fmt SYSTEM PRIVATE ${NETSETTER_DEPS}/sysinclude)
list(APPEND NETSETTER_THIRD_PARTY_DLLS Fmt)

add_library(NetsetterOptions INTERFACE)
target_compile_definitions(NetsetterOptions INTERFACE
  UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX
  BOOST_ALL_NO_LIB BOOST_FILESYSTEM_NO_DEPRECATED
  GLOG_NO_ABBREVIATED_SEVERITIES)
target_compile_options(NetsetterOptions INTERFACE -Wall -Wextra -Wno-unknown-pragmas)
target_include_directories(NetsetterOptions SYSTEM INTERFACE ${NETSETTER_DEPS}/sysinclude)
target_link_libraries(NetsetterOptions INTERFACE
  glog::glog
  ${NETSETTER_THIRD_PARTY_DLLS}
  bcrypt ws2_32 mswsock)
