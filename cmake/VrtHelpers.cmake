# vrt_subsystem(<name> <sources...>)
# One object library per src/<sub>; its objects go into both libvrt.so and the
# static archive that the tests and fuzzers link (they reach hidden internals).
function(_vrt_object_library target)
  add_library(${target} OBJECT ${ARGN})
  target_include_directories(${target}
    PUBLIC ${PROJECT_SOURCE_DIR}/include
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE VRT_BUILDING_LIBRARY=1)
  target_compile_options(${target} PRIVATE ${VRT_WARNINGS})
endfunction()

function(vrt_subsystem name)
  _vrt_object_library(vrt_${name} ${ARGN})
  set_property(GLOBAL APPEND PROPERTY VRT_OBJECT_LIBS vrt_${name})
endfunction()

# vrt_subsystem_with_test_hooks(<name> <sources...>)
# Sources built twice: as they ship for libvrt.so, and with VRT_TEST_HOOKS
# defined for the static archive, so that hooks which make the library
# misbehave on purpose (a self-test forced to fail) exist in the test build
# only and never in the shipped object.
function(vrt_subsystem_with_test_hooks name)
  _vrt_object_library(vrt_${name} ${ARGN})
  set_property(GLOBAL APPEND PROPERTY VRT_SHARED_OBJECT_LIBS vrt_${name})
  _vrt_object_library(vrt_${name}_hooked ${ARGN})
  target_compile_definitions(vrt_${name}_hooked PRIVATE VRT_TEST_HOOKS=1)
  set_property(GLOBAL APPEND PROPERTY VRT_STATIC_OBJECT_LIBS vrt_${name}_hooked)
endfunction()

set(VRT_WARNINGS -Wall -Wextra -Wshadow -Wno-unused-parameter)
