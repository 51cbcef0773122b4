# Whole-build sanitizers, chosen with -DVRT_SANITIZE=address,undefined or thread.
if(VRT_SANITIZE)
  set(_flags -fsanitize=${VRT_SANITIZE} -fno-omit-frame-pointer -g)
  if(VRT_SANITIZE MATCHES "undefined")
    list(APPEND _flags -fno-sanitize-recover=all)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      # The dispatch slots hold the 64-bit-word variants of add256/add512 behind
      # the generic slot type; see src/frame/arch_x86.cpp.
      list(APPEND _flags -fno-sanitize=function)
    endif()
  endif()
  add_compile_options(${_flags})
  add_link_options(-fsanitize=${VRT_SANITIZE})
endif()
