# cmake -DCOMPILER=<c++> -DINCLUDES=<dir|dir...> -DALLOWED=<header> -DFORBIDDEN=<header|header...> -DWORK=<folder>
#   -P LayerCheck.cmake
# Preprocesses one file per header with exactly the given include folders: ALLOWED must be found, and every
# FORBIDDEN header must be missing (the compiler names it as not found).
string(REPLACE "|" ";" includes "${INCLUDES}")
string(REPLACE "|" ";" forbidden "${FORBIDDEN}")
set(flags)
foreach(dir ${includes})
  list(APPEND flags -I${dir})
endforeach()
file(MAKE_DIRECTORY ${WORK})

function(preprocess header result output)
  string(MAKE_C_IDENTIFIER "${header}" name)
  file(WRITE ${WORK}/${name}.cpp "#include \"${header}\"\n")
  execute_process(COMMAND ${COMPILER} -std=c++20 -E ${flags} ${WORK}/${name}.cpp -o ${WORK}/${name}.i
    RESULT_VARIABLE code ERROR_VARIABLE errors OUTPUT_QUIET)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "${errors}" PARENT_SCOPE)
endfunction()

preprocess(${ALLOWED} code errors)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the layer cannot include its own ${ALLOWED}:\n${errors}")
endif()
foreach(header ${forbidden})
  preprocess(${header} code errors)
  if(code EQUAL 0)
    message(FATAL_ERROR "the layer can include ${header}")
  endif()
  string(FIND "${errors}" "${header}: No such file or directory" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${header} failed for another reason than not being found:\n${errors}")
  endif()
  message(STATUS "not reachable: ${header}")
endforeach()
