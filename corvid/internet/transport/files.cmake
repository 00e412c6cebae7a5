# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS base.h errors.h
  INTERNAL_HEADERS error_table.h
  SOURCES base.cpp error_table.cpp)
