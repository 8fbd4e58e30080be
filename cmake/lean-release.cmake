# What the Windows release build ships is small: every function and datum in a section of its
# own, so that the linker drops whatever nothing reaches; code optimised for size; and, after
# linking, each shipped program and library stripped of its symbols and debug sections. Their
# debug information stays for the vendor in <build>/debug/<file>.debug, which the stripped file
# names in a .gnu_debuglink section (gdb finds it there, or with `set debug-file-directory`).
# Code is compiled with -g for that file alone: -g changes no generated instruction.
#
# Included by the top-level CMakeLists.txt for Windows builds only.
set(HOTFIX_RELEASE $<CONFIG:Release>)
add_compile_options("$<${HOTFIX_RELEASE}:-Os;-g;-ffunction-sections;-fdata-sections>")
add_link_options("$<${HOTFIX_RELEASE}:LINKER:--gc-sections>")
# The linker keeps every function that has unwind information (the i686 .eh_frame is kept
# whole), so what matters is which archive members come in. The default terminate handler
# demangles the type of the exception it prints, and brings the whole demangler (46 KB in
# every program): a terminating program aborts without that line.
# Symbols carry a leading underscore on x86, none on x64.
if(HOTFIX_ARCH STREQUAL "x86")
  add_link_options(LINKER:--defsym,__ZN9__gnu_cxx27__verbose_terminate_handlerEv=_abort)
else()
  add_link_options(LINKER:--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
endif()

set(HOTFIX_DEBUG_DIR ${CMAKE_BINARY_DIR}/debug)
if(NOT CMAKE_OBJCOPY)
  find_program(CMAKE_OBJCOPY ${TOOLCHAIN_PREFIX}-objcopy REQUIRED)
endif()

# hotfix_ship_stripped(target...): strips each target's file in place once it is linked, its
# debug information kept in <build>/debug first. Called in the folder that defines the targets.
# Signing (scripts/sign.sh) comes after, on the stripped file.
function(hotfix_ship_stripped)
  foreach(target ${ARGN})
    set(file $<TARGET_FILE:${target}>)
    set(debug ${HOTFIX_DEBUG_DIR}/$<TARGET_FILE_NAME:${target}>.debug)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${HOTFIX_DEBUG_DIR}
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${debug}
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${debug} ${file}
      VERBATIM)
  endforeach()
endfunction()
