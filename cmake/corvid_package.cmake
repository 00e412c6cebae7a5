# SPDX-License-Identifier: MIT
# Debian packages through CPack, one per install component:
#   libcorvid-dev  the static library, its headers, the CMake and pkg-config files
#   corvid-tools   the corvid program, its manual page, completion and service units
#   post           the error-report program and its manual page
# scripts/package configures the release build for /usr and runs cpack.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvid)
set(CPACK_PACKAGE_VENDOR "The corvid authors")
set(CPACK_PACKAGE_CONTACT "The corvid authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Paths inside the packages are those the build was configured for, so that
# the service unit's ExecStart and the installed files agree.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The programs' library dependencies (libc, ICU, OpenSSL, GTK) as the
# system's dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_COMPONENTS_ALL dev)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcorvid-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# A static archive has no shared-library dependencies to find: every
# program linked with it needs ICU and OpenSSL, headers and pkg-config files
# included.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libicu-dev, libssl-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION "C++20 class library for Internet mail (development files)
corvid builds, writes and reads MIME messages, with RFC 2047 encoded
words and uuencoded attachments; it has base64, quoted-printable, hex and
URL codecs with MD5, charset conversion through ICU, IPv4 endpoints, TCP
and UDP transports with TLS over OpenSSL, an SMTP client and an SMTP
server session.

This package holds the static library, its headers, and the files that
CMake's find_package(corvid) and pkg-config use.")

if(TARGET corvid_cli)
  list(APPEND CPACK_COMPONENTS_ALL tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME corvid-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION mail)
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tools for Internet mail: MIME, codecs, charsets, SMTP
The corvid program composes, inspects, rewrites and unpacks MIME
messages; encodes and decodes base64, quoted-printable, uuencode, hex and
URL text; converts between charsets; prints MD5 digests and RFC 822 dates;
sends a message through an SMTP server; and runs a small SMTP server that
stores what it receives in a Maildir folder.

The package includes a systemd service and socket for running that server
as the system's mail sink, and bash completion.")
endif()

if(TARGET post)
  list(APPEND CPACK_COMPONENTS_ALL post)
  set(CPACK_DEBIAN_POST_PACKAGE_NAME post)
  set(CPACK_DEBIAN_POST_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_POST_DESCRIPTION "error-report program for software installers
An installer runs post as its last step with its exit code. When the
installation failed, post reads the installer's log, asks the person at
the screen (in a GTK window or on the terminal) whether a report may be
sent, and mails the log to the support mailbox that was set when post was
built.")
endif()

# Each package carries the licence where Debian looks for it.
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    RENAME copyright COMPONENT ${component})
endforeach()

include(CPack)
