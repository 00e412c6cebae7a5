# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS raw.h
  SOURCES raw.cpp)
