# cmake -DNM=<nm> -DIMPORT_LIB=<import library> -DDLL=<file name of the DLL> -DDEF=<.def to write> -P DelayImportDef.cmake
# Writes the module-definition file of the DLL's functions, the exports a delay-import library can carry: in an
# import library functions have a code stub (T) beside their import slot, data exports only the slot.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Cannot read the symbols of ${IMPORT_LIB}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" functions "${symbols}")
list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
list(REMOVE_DUPLICATES functions)
list(JOIN functions "\n  " exports)
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n  ${exports}\n")
