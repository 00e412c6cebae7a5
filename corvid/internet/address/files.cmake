# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS base.h endpoint.h errors.h ip4.h ip6.h record.h
  INTERNAL_HEADERS lookup.h
  SOURCES endpoint.cpp lookup.cpp record.cpp)
