include(CMakePackageConfigHelpers)

install(TARGETS corvid EXPORT corvid-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(CORVID_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/corvid)
install(EXPORT corvid-targets NAMESPACE corvid:: DESTINATION ${CORVID_CMAKE_DIR})

configure_package_config_file(cmake/corvid-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config.cmake
  INSTALL_DESTINATION ${CORVID_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/corvid-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config-version.cmake
  DESTINATION ${CORVID_CMAKE_DIR})

if(TARGET corvid_cli)
  install(TARGETS corvid_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(TARGET post)
  install(TARGETS post RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
