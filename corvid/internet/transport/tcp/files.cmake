# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS base.h raw.h tls.h
  SOURCES base.cpp raw.cpp tls.cpp)
