# What `cmake --install` puts in place for libfpta: the shared library with
# its ABI major as soname (libfpta.so.1, and the libfpta.so link that -lfpta
# finds), its header, fpta.pc for pkg-config and the CMake package fpta
# (find_package(fpta) gives the imported target fpta::fpta). The library is
# the install component libfpta1, everything a build against it needs is
# libfpta-dev (the Debian packages of those names).
#
# The call recorder stays in the installed library: every entry point
# records through it, so leaving it out would take a second build of the
# whole library, and the library that is installed would then not be the
# one the tests ran against. While recording is off (always, unless a
# process calls fpta_recorder_enable) it costs one load and two branches per
# call. Its header is not installed, since it is not part of the interface
# offered to users.
set_target_properties(fpta PROPERTIES SOVERSION 1)

install(TARGETS fpta EXPORT fptaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  COMPONENT libfpta1 NAMELINK_COMPONENT libfpta-dev)
install(FILES include/fpta.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT libfpta-dev)

# fpta.pc names the prefix it was installed under, which `cmake --install
# --prefix` (and CPack's staging) decide only then, so it is written at
# install time.
set(fpta_pc ${CMAKE_CURRENT_BINARY_DIR}/fpta.pc)
install(CODE "
  set(PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/fpta.pc.in\" \"${fpta_pc}\" @ONLY)"
  COMPONENT libfpta-dev)
install(FILES ${fpta_pc} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT libfpta-dev)

# The CMake package: the exported target and the files find_package reads.
include(CMakePackageConfigHelpers)
set(fpta_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/fpta)
install(EXPORT fptaTargets NAMESPACE fpta:: DESTINATION ${fpta_cmake_dir} COMPONENT libfpta-dev)
configure_package_config_file(fptaConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/fptaConfig.cmake
  INSTALL_DESTINATION ${fpta_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/fptaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/fptaConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/fptaConfigVersion.cmake
  DESTINATION ${fpta_cmake_dir} COMPONENT libfpta-dev)
