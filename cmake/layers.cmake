# Layers the build enforces. Each folder of the installer and the engine is one target, and a
# target sees only its own folders and those of the layers below it: its one include root,
# <build>/layers/<target>/, holds links to exactly those folders' headers. An include that runs
# back up ("app/hotfix_run.h" from patch/) finds no file and the build stops there.
#
#   hotfix_layer(<target> FOLDERS <folder>... [BELOW <layer target>...])
#     <folder>s are source folders (adapters is a folder of its own, not part of
#     platform); the BELOW targets are linked PRIVATE (INTERFACE for a header-only target) and
#     their folders, and everything below them, become visible.
#   hotfix_layer_check(<layer target> FORBIDDEN <header> ALLOWED <header>)
#     a test that compiles an include of <header> in that layer's root and expects it to fail
#     for want of the file, and the ALLOWED one to compile.
function(hotfix_layer target)
  cmake_parse_arguments(LAYER "" "" "FOLDERS;BELOW" ${ARGN})
  set(folders ${LAYER_FOLDERS})
  foreach(below ${LAYER_BELOW})
    get_property(known GLOBAL PROPERTY HOTFIX_LAYERS)
    if(NOT below IN_LIST known)
      message(FATAL_ERROR "hotfix_layer(${target}): ${below} is no layer (declare the layers bottom up)")
    endif()
    get_property(belowFolders GLOBAL PROPERTY HOTFIX_LAYER_${below})
    list(APPEND folders ${belowFolders})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  # A quoted include is looked up beside the including file first, so "../app/x.h" would reach
  # past the include root: no source of a layer climbs out of its folder (checked when the build
  # is configured, as every clean build is).
  foreach(folder ${LAYER_FOLDERS})
    file(GLOB sources ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
      file(STRINGS ${source} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
      if(climbing)
        message(FATAL_ERROR "${source}: '${climbing}' climbs out of its folder; includes name headers from the source root")
      endif()
    endforeach()
  endforeach()
  set_property(GLOBAL PROPERTY HOTFIX_LAYER_${target} ${folders})
  set_property(GLOBAL APPEND PROPERTY HOTFIX_LAYERS ${target})

  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(folder ${folders})
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header ${headers})
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
  endforeach()

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${LAYER_BELOW})
  else()
    target_include_directories(${target} PRIVATE ${root})
    target_link_libraries(${target} PRIVATE ${LAYER_BELOW})
  endif()
endfunction()

function(hotfix_layer_check target)
  cmake_parse_arguments(CHECK "" "FORBIDDEN;ALLOWED" "" ${ARGN})
  add_test(NAME layers.${target}.sees_nothing_above
    COMMAND ${CMAKE_COMMAND} -DCOMPILER=${CMAKE_CXX_COMPILER} -DROOT=${CMAKE_BINARY_DIR}/layers/${target}
            -DFORBIDDEN=${CHECK_FORBIDDEN} -DALLOWED=${CHECK_ALLOWED} -DWORK=${CMAKE_BINARY_DIR}/layers/probe-${target}
            -P ${CMAKE_SOURCE_DIR}/cmake/layer_probe.cmake)
endfunction()
