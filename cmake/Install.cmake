# cmake --install: the socket component for programs built on it. Its headers go
# to include/vorlanx (included as "net/WSocket.h", as in this tree), its static
# libraries to the library folder, and a CMake package and a pkg-config file say
# how to use them:
#   find_package(vorlanx REQUIRED)  target_link_libraries(app PRIVATE vorlanx::net)
#   pkg-config --cflags --libs vorlanx
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VORLANX_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/vorlanx)
set(VORLANX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorlanx)

foreach(header IN LISTS VORLANX_PUBLIC_HEADERS)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${VORLANX_ROOT}/${header} DESTINATION ${VORLANX_INCLUDE_SUBDIR}/${dir}
          COMPONENT vorlanx_development)
endforeach()

set(VORLANX_EXPORTED vorlanx_rtl vorlanx_win32 vorlanx_winsock vorlanx_net)
foreach(target IN LISTS VORLANX_EXPORTED)
  string(REPLACE "vorlanx_" "" short ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${short})
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${VORLANX_INCLUDE_SUBDIR}>)
endforeach()
install(TARGETS ${VORLANX_EXPORTED} EXPORT vorlanxTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT vorlanx_development)
install(EXPORT vorlanxTargets NAMESPACE vorlanx:: DESTINATION ${VORLANX_CMAKE_DIR}
        COMPONENT vorlanx_development)

configure_package_config_file(${VORLANX_ROOT}/cmake/vorlanxConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/vorlanxConfig.cmake
                              INSTALL_DESTINATION ${VORLANX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vorlanxConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vorlanxConfig.cmake
              ${PROJECT_BINARY_DIR}/vorlanxConfigVersion.cmake
        DESTINATION ${VORLANX_CMAKE_DIR} COMPONENT vorlanx_development)

# pkg-config finds the prefix from where the file lies, so the tree can be moved
# (or installed with cmake --install --prefix) after configuring.
file(RELATIVE_PATH VORLANX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
get_property(VORLANX_PC_PLATFORM_LIBS GLOBAL PROPERTY VORLANX_PC_PLATFORM_LIBS)
configure_file(${VORLANX_ROOT}/cmake/vorlanx.pc.in ${PROJECT_BINARY_DIR}/vorlanx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vorlanx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT vorlanx_development)
