# `cmake --install` makes the deployable folder: the three modules, the third-party DLLs, libglog.dll and the MinGW
# runtime DLLs, all stripped, nothing else (no import libraries, tools or tests).
set(NETSETTER_SHIPPED_RUNTIME libglog.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
set(NETSETTER_SHIPPED_TARGETS installer Fetchwell Tallivo ${NETSETTER_THIRD_PARTY_DLLS})
set(NETSETTER_SHIPPED_TARGET_FILES)
foreach(target ${NETSETTER_SHIPPED_TARGETS})
  install(FILES $<TARGET_FILE:${target}> DESTINATION .)
  list(APPEND NETSETTER_SHIPPED_TARGET_FILES $<TARGET_FILE_NAME:${target}>)
endforeach()
foreach(dll ${NETSETTER_SHIPPED_RUNTIME})
  install(FILES ${NETSETTER_BIN}/${dll} DESTINATION .)
endforeach()
# The release preset links stripped modules already; other configurations are stripped on the way out.
install(CODE "
  foreach(module ${NETSETTER_SHIPPED_TARGET_FILES})
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${CMAKE_INSTALL_PREFIX}/\${module}\"
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"Cannot strip \${module}\")
    endif()
  endforeach()")
