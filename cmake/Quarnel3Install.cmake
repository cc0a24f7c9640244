# What `cmake --install` puts in place for C++ users: the wexel library
# (static and shared), the host helper, the public headers, kexsim, the CMake
# package (find_package(Quarnel3): Quarnel3::wexel, Quarnel3::wexel_static,
# Quarnel3::host) and the pkg-config files wexel.pc and quarnel3.pc. The
# module and kxcli install from their own folders.
include(CMakePackageConfigHelpers)

set(QUARNEL3_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quarnel3)

set_target_properties(wexel PROPERTIES EXPORT_NAME wexel_static)
set_target_properties(wexel_shared PROPERTIES EXPORT_NAME wexel)

install(TARGETS wexel wexel_shared quarnel3_platform EXPORT Quarnel3Targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/wexel ${PROJECT_SOURCE_DIR}/include/quarnel3
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET kexsim)
  install(TARGETS kexsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT Quarnel3Targets NAMESPACE Quarnel3:: DESTINATION ${QUARNEL3_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/Quarnel3Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/Quarnel3Config.cmake INSTALL_DESTINATION ${QUARNEL3_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Quarnel3ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Quarnel3Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/Quarnel3ConfigVersion.cmake
  DESTINATION ${QUARNEL3_CMAKE_DIR})

# pkg-config files, relocatable: the prefix is found from the file's own place,
# so `cmake --install --prefix` anywhere gives working files.
file(RELATIVE_PATH QUARNEL3_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
foreach(pc wexel quarnel3)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
