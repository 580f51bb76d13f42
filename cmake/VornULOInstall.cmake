# What `cmake --install` puts in place: the library, its header, a CMake
# package (find_package(VornULO) gives the target VornULO::Vorn_ULO) and a
# pkg-config file (vorn_ulo.pc).
include(CMakePackageConfigHelpers)

set(ULO_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VornULO)

install(TARGETS Vorn_ULO EXPORT VornULOTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vorn_ulo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT VornULOTargets
  NAMESPACE VornULO::
  DESTINATION ${ULO_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VornULOConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VornULOConfig.cmake
  INSTALL_DESTINATION ${ULO_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VornULOConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VornULOConfig.cmake
  ${PROJECT_BINARY_DIR}/VornULOConfigVersion.cmake
  DESTINATION ${ULO_PACKAGE_DIR})

# The .pc file finds its prefix from its own place, so that the package works
# wherever it is installed (cmake --install --prefix DIR included).
set(ULO_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(ULO_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(ULO_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(ULO_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH ULO_PC_UP /prefix/${ULO_PC_DIR} /prefix)
  string(REGEX REPLACE "/$" "" ULO_PC_UP "${ULO_PC_UP}")
  set(ULO_PC_PREFIX "\${pcfiledir}/${ULO_PC_UP}")
  set(ULO_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(ULO_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vorn_ulo.pc.in ${PROJECT_BINARY_DIR}/vorn_ulo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vorn_ulo.pc DESTINATION ${ULO_PC_DIR})
