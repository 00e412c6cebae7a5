# SPDX-License-Identifier: MIT
include(CMakePackageConfigHelpers)

# Three components, one per Debian package (cmake/corvid_package.cmake):
# dev (the library, its headers, the CMake and pkg-config files), tools (the
# corvid program) and post.
install(TARGETS corvid EXPORT corvid-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dev
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(CORVID_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/corvid)
install(EXPORT corvid-targets NAMESPACE corvid:: DESTINATION ${CORVID_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(cmake/corvid-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config.cmake
  INSTALL_DESTINATION ${CORVID_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/corvid-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/corvid-config-version.cmake
  DESTINATION ${CORVID_CMAKE_DIR} COMPONENT dev)

# corvid.pc for builds without CMake. The prefix is found from the file's own
# place, so an installed tree may move (and the package test installs into a
# scratch prefix). A static library needs ICU and OpenSSL on the link line of
# every program, which only Requires puts there for a plain
# `pkg-config --libs`; a shared one links them itself, so they stay private.
file(RELATIVE_PATH CORVID_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" CORVID_PC_TO_PREFIX "${CORVID_PC_TO_PREFIX}")
get_target_property(corvid_type corvid TYPE)
if(corvid_type STREQUAL "STATIC_LIBRARY")
  set(CORVID_PC_REQUIRES "Requires")
else()
  set(CORVID_PC_REQUIRES "Requires.private")
endif()
configure_file(cmake/corvid.pc.in ${CMAKE_CURRENT_BINARY_DIR}/corvid.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvid.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(TARGET corvid_cli)
  install(TARGETS corvid_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

if(TARGET post)
  install(TARGETS post RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT post)
endif()
