# The CMake package a host finds with find_package(photosupport).
include(CMakePackageConfigHelpers)
set(PS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/photosupport)
install(EXPORT photosupport-targets NAMESPACE photosupport:: DESTINATION ${PS_CMAKE_DIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/photosupport-config.cmake.in
  "@PACKAGE_INIT@\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/photosupport-targets.cmake\")\n")
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/photosupport-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/photosupport-config.cmake INSTALL_DESTINATION ${PS_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/photosupport-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/photosupport-config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/photosupport-config-version.cmake
        DESTINATION ${PS_CMAKE_DIR})
