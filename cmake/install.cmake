# What `cmake --install BUILD --prefix P` puts under P for a host's
# developer: the plug-in, its header, the host tool and the simulator, a
# CMake package, a pkg-config file, the C example, the licence and the
# changelog. The tests and the test-only tools (bench, soak, msgdoc, fuzz
# targets) stay in the build.
include(CMakePackageConfigHelpers)

# On Windows Tessel.dll goes beside the tools, where tessel-host.exe and a
# Windows host look for it. Its import library is left out: a host loads the
# plug-in, it does not link it.
if(WIN32)
  set(TESSEL_PLUGIN_FILE ${CMAKE_INSTALL_BINDIR}/Tessel.dll)
else()
  set(TESSEL_PLUGIN_FILE ${CMAKE_INSTALL_LIBDIR}/libTessel.so)
endif()
install(TARGETS Tessel
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
install(FILES include/tessel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS tessel-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(TESSEL_STANDIN_FILE ${CMAKE_INSTALL_BINDIR}/tessel-standin)
if(NOT WIN32)
  install(TARGETS tessel-standin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES examples/host.c DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The CMake package: Tessel::headers, Tessel::plugin, Tessel::standin (the
# comments of cmake/TesselConfig.cmake.in tell what each is for).
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)
configure_package_config_file(cmake/TesselConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake
  INSTALL_DESTINATION ${config_dir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR TESSEL_PLUGIN_FILE TESSEL_STANDIN_FILE)
# A host built against 1.x takes any later 1.x: the descriptor's layout and
# the entry points do not change within a major version.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
        DESTINATION ${config_dir})

# pkg-config: Cflags for the header and the variable "plugin".
file(RELATIVE_PATH TESSEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TESSEL_PC_TO_PREFIX "${TESSEL_PC_TO_PREFIX}")
configure_file(cmake/tessel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
