# Install rules: the shared object, the header, an exported vrt::vrt target
# with its package configuration for find_package(vrt), and vrt.pc for
# pkg-config. Included from src/CMakeLists.txt, where the vrt target lives.
include(CMakePackageConfigHelpers)

set(VRT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vrt)

install(TARGETS vrt EXPORT vrtTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vrt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vrtTargets NAMESPACE vrt:: FILE vrtTargets.cmake DESTINATION ${VRT_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vrtConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vrtConfig.cmake
  INSTALL_DESTINATION ${VRT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vrtConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vrtConfig.cmake ${PROJECT_BINARY_DIR}/vrtConfigVersion.cmake
  DESTINATION ${VRT_CMAKE_DIR})

# vrt.pc names its prefix relative to its own folder (pkg-config's
# pcfiledir), so an installed tree can be moved or unpacked elsewhere.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VRT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VRT_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(VRT_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" _up "${_up}")
  set(VRT_PC_PREFIX "\${pcfiledir}/${_up}")
  set(VRT_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(VRT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/vrt.pc.in ${PROJECT_BINARY_DIR}/vrt.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vrt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
