# cmake -DCOMPILER=… -DROOT=<layer root> -DFORBIDDEN=<header> -DALLOWED=<header> -DWORK=<dir> -P layer_probe.cmake
# Compiles `#include "<header>"` against one layer's include root, as a source of that layer is
# compiled: the FORBIDDEN header must not be found, the ALLOWED one must compile.
file(MAKE_DIRECTORY ${WORK})
function(probe header outcome output)
  string(MAKE_C_IDENTIFIER ${header} name)
  file(WRITE ${WORK}/${name}.cpp "#include \"${header}\"\n")
  execute_process(COMMAND ${COMPILER} -std=c++17 -fsyntax-only -I${ROOT} ${WORK}/${name}.cpp
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${outcome} ${result} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

probe(${ALLOWED} allowedResult allowedOutput)
if(NOT allowedResult EQUAL 0)
  message(FATAL_ERROR "${ALLOWED} does not compile in ${ROOT}:\n${allowedOutput}")
endif()
probe(${FORBIDDEN} forbiddenResult forbiddenOutput)
if(forbiddenResult EQUAL 0)
  message(FATAL_ERROR "${FORBIDDEN} compiles in ${ROOT}: an include runs back up")
endif()
if(NOT forbiddenOutput MATCHES "${FORBIDDEN}: No such file")
  message(FATAL_ERROR "${FORBIDDEN} failed in ${ROOT}, but not for want of the file:\n${forbiddenOutput}")
endif()
message(STATUS "${ALLOWED} compiles; ${FORBIDDEN}: not found, as it must be")
