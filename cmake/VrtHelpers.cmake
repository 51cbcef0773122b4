# vrt_subsystem(<name> <sources...>)
# One object library per src/<sub>; its objects go into both libvrt.so and the
# static archive that the tests and fuzzers link (they reach hidden internals).
function(vrt_subsystem name)
  set(target vrt_${name})
  add_library(${target} OBJECT ${ARGN})
  target_include_directories(${target}
    PUBLIC ${PROJECT_SOURCE_DIR}/include
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE VRT_BUILDING_LIBRARY=1)
  target_compile_options(${target} PRIVATE ${VRT_WARNINGS})
  set_property(GLOBAL APPEND PROPERTY VRT_OBJECT_LIBS ${target})
endfunction()

set(VRT_WARNINGS -Wall -Wextra -Wshadow -Wno-unused-parameter)
