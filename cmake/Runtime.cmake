# Puts libglog.dll and the stripped MinGW runtime DLLs next to the modules so every program starts from bin/.
set(NETSETTER_BIN ${CMAKE_BINARY_DIR}/bin)
file(MAKE_DIRECTORY ${NETSETTER_BIN})

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE _libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
  OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(_libwinpthread libwinpthread-1.dll PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

foreach(dll ${_libstdcxx} ${_libgcc} ${_libwinpthread} ${NETSETTER_DEPS_PREFIX}/bin/libglog.dll)
  get_filename_component(name ${dll} NAME)
  if(NOT EXISTS ${NETSETTER_BIN}/${name} OR ${dll} IS_NEWER_THAN ${NETSETTER_BIN}/${name})
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${NETSETTER_BIN}/${name} ${dll}
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Cannot copy ${dll} to ${NETSETTER_BIN}")
    endif()
  endif()
endforeach()
