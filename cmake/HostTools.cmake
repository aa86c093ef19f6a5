# Builds tools/ with the machine's own compiler in build/host, driven from this build:
# the custom command reruns the inner build only when a tool source changes, so an
# up-to-date tree reports no work.
set(HOST_BUILD_DIR ${CMAKE_BINARY_DIR}/host)
set(HOST_TOOLS_DIR ${HOST_BUILD_DIR}/bin)
if(NOT EXISTS ${HOST_BUILD_DIR}/build.ninja)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -G Ninja -S ${CMAKE_SOURCE_DIR}/tools -B ${HOST_BUILD_DIR}
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
            -DORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    RESULT_VARIABLE host_rc)
  if(host_rc)
    message(FATAL_ERROR "configuring the host tools failed")
  endif()
endif()
file(GLOB_RECURSE HOST_TOOL_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/tools/*.cpp ${CMAKE_SOURCE_DIR}/tools/*.h
     ${CMAKE_SOURCE_DIR}/tools/*.txt ${CMAKE_SOURCE_DIR}/abi/format/*.h)
set(HOST_TOOL_OUTPUTS ${HOST_TOOLS_DIR}/vlink)
add_custom_command(
  OUTPUT ${HOST_TOOL_OUTPUTS}
  COMMAND ${CMAKE_COMMAND} --build ${HOST_BUILD_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch_nocreate ${HOST_TOOL_OUTPUTS}
  DEPENDS ${HOST_TOOL_SOURCES}
  COMMENT "Building host tools"
  USES_TERMINAL)
add_custom_target(host_tools DEPENDS ${HOST_TOOL_OUTPUTS})
set(VLINK ${HOST_TOOLS_DIR}/vlink)
# What the linker reads besides a program's own sources: the include files and the support
# objects it links in when referenced. Programs linked at build time depend on these.
set(VLINK_SUPPORT ${CMAKE_SOURCE_DIR}/tools/vlink/orvel.inc ${CMAKE_SOURCE_DIR}/tools/vlink/orvel.h
    ${CMAKE_SOURCE_DIR}/tools/vlink/orvel_services.s ${CMAKE_SOURCE_DIR}/tools/vlink/orvel_support.c)
