# Delay-loaded system DLLs: a module that links `NetsetterDelayLoad` loads each DLL below on the first call into
# it, not when the process starts, so the window's first frame does not wait for DLLs it does not draw with.
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
    # Functions have a code stub (T) beside their import slot; data exports have only the slot.
    execute_process(COMMAND ${NETSETTER_NM} -g --defined-only ${import_lib}
      OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Cannot read the symbols of ${import_lib}")
    endif()
    string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" functions "${symbols}")
    list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
    list(REMOVE_DUPLICATES functions)
    list(JOIN functions "\n  " exports)
    file(WRITE ${NETSETTER_DELAY_LIB_DIR}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n  ${exports}\n")
    execute_process(COMMAND ${NETSETTER_DLLTOOL} --input-def ${NETSETTER_DELAY_LIB_DIR}/${dll}.def
      --dllname ${dll}.dll --output-delaylib ${delay_lib}
      RESULT_VARIABLE rc ERROR_VARIABLE error)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Cannot make the delay-import library of ${dll}.dll: ${error}")
    endif()
  endif()
  target_link_libraries(NetsetterDelayLoad INTERFACE ${delay_lib})
endforeach()
