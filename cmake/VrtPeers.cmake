# Peer libraries, used as black boxes by the differential tests and benchmarks
# only; the library itself depends on nothing. Each found peer becomes an
# imported target vrt::peer::<name> and defines VRT_HAVE_<NAME> for its users.
find_package(PkgConfig QUIET)
set(VRT_PEER_TARGETS "")
set(VRT_PEER_DEFINES "")

macro(vrt_find_peer name module define)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(VRT_PEER_${name} QUIET IMPORTED_TARGET ${module})
  endif()
  if(VRT_PEER_${name}_FOUND)
    add_library(vrt_peer_${name} INTERFACE)
    target_link_libraries(vrt_peer_${name} INTERFACE PkgConfig::VRT_PEER_${name})
    target_compile_definitions(vrt_peer_${name} INTERFACE ${define}=1)
    add_library(vrt::peer::${name} ALIAS vrt_peer_${name})
    list(APPEND VRT_PEER_TARGETS vrt_peer_${name})
    message(STATUS "vrt peer ${name}: ${VRT_PEER_${name}_VERSION}")
  else()
    message(STATUS "vrt peer ${name}: not found, its comparisons are skipped")
  endif()
endmacro()

vrt_find_peer(gcrypt libgcrypt VRT_HAVE_GCRYPT)
vrt_find_peer(nettle "nettle;hogweed" VRT_HAVE_NETTLE)
vrt_find_peer(openssl libcrypto VRT_HAVE_OPENSSL)
vrt_find_peer(botan botan-2 VRT_HAVE_BOTAN)
vrt_find_peer(gmp gmp VRT_HAVE_GMP)

# All found peers in one target, for programs that compare against several.
add_library(vrt_peers INTERFACE)
target_link_libraries(vrt_peers INTERFACE ${VRT_PEER_TARGETS})
