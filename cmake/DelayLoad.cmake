# Delay-loaded DLLs: a module that links `NetsetterDelayLoad` loads each system DLL below on the first call into
# it, not when the process starts, so the window's first frame does not wait for DLLs it does not draw with (our
# own DLLs: netsetter_delay_loaded_modules at the end).
# GNU ld has no /DELAYLOAD: for each DLL, dlltool makes a delay-import library (--output-delaylib) from the
# functions of MinGW's import library, and that library takes the import library's place on the link line
# (the system libraries CMake appends to every link come after it, so they no longer resolve these functions).
# Data exports cannot be delay-loaded and are left out. dbghelp is not among them: glog loads it at start anyway,
# and the crash handler must not load a DLL while it reports a crash.
set(NETSETTER_DELAY_LOADED_DLLS comdlg32 d2d1 dwrite gdiplus winhttp shell32 ole32 crypt32 wintrust
    CACHE INTERNAL "System DLLs the modules load on first use")

set(NETSETTER_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${NETSETTER_DELAY_LIB_DIR})
find_program(NETSETTER_DLLTOOL ${TOOLCHAIN_PREFIX}-dlltool REQUIRED)
find_program(NETSETTER_NM ${TOOLCHAIN_PREFIX}-nm REQUIRED)

add_library(NetsetterDelayLoad INTERFACE)
foreach(dll ${NETSETTER_DELAY_LOADED_DLLS})
  find_library(NETSETTER_IMPORT_LIB_${dll} NAMES ${dll} REQUIRED)
  set(import_lib ${NETSETTER_IMPORT_LIB_${dll}})
  set(delay_lib ${NETSETTER_DELAY_LIB_DIR}/lib${dll}_delay.a)
  if(NOT EXISTS ${delay_lib} OR ${import_lib} IS_NEWER_THAN ${delay_lib})
    execute_process(COMMAND ${CMAKE_COMMAND} -DNM=${NETSETTER_NM} -DIMPORT_LIB=${import_lib} -DDLL=${dll}.dll
      -DDEF=${NETSETTER_DELAY_LIB_DIR}/${dll}.def -P ${CMAKE_CURRENT_LIST_DIR}/DelayImportDef.cmake
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Cannot list the functions of ${import_lib}")
    endif()
    execute_process(COMMAND ${NETSETTER_DLLTOOL} --input-def ${NETSETTER_DELAY_LIB_DIR}/${dll}.def
      --dllname ${dll}.dll --output-delaylib ${delay_lib}
      RESULT_VARIABLE rc ERROR_VARIABLE error)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Cannot make the delay-import library of ${dll}.dll: ${error}")
    endif()
  endif()
  target_link_libraries(NetsetterDelayLoad INTERFACE ${delay_lib})
endforeach()

# netsetter_delay_loaded_modules(<name> <DLL target>...): the interface library <name> makes the modules that link
# it load our own DLLs on the first call into them, the same way; their delay-import libraries are made once the
# DLLs are built. Link <name> after the code that calls the DLLs and before the DLLs themselves. A DLL's data
# exports still come from its import library, and a module that uses one loads the DLL at start.
function(netsetter_delay_loaded_modules name)
  add_library(${name} INTERFACE)
  foreach(dll ${ARGN})
    set(delay_lib ${NETSETTER_DELAY_LIB_DIR}/lib${dll}_delay.a)
    set(def ${NETSETTER_DELAY_LIB_DIR}/${dll}.def)
    add_custom_command(OUTPUT ${delay_lib}
      COMMAND ${CMAKE_COMMAND} -DNM=${NETSETTER_NM} -DIMPORT_LIB=$<TARGET_LINKER_FILE:${dll}>
        -DDLL=$<TARGET_FILE_NAME:${dll}> -DDEF=${def} -P ${CMAKE_SOURCE_DIR}/cmake/DelayImportDef.cmake
      COMMAND ${NETSETTER_DLLTOOL} --input-def ${def} --dllname $<TARGET_FILE_NAME:${dll}> --output-delaylib ${delay_lib}
      DEPENDS ${dll} ${CMAKE_SOURCE_DIR}/cmake/DelayImportDef.cmake
      COMMENT "Delay-import library of ${dll}"
      VERBATIM)
    add_custom_target(${dll}DelayImport DEPENDS ${delay_lib})
    add_dependencies(${name} ${dll}DelayImport)
    target_link_libraries(${name} INTERFACE ${delay_lib})
  endforeach()
endfunction()
