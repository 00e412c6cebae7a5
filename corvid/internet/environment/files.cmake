# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS environment.h errors.h startup.h
  INTERNAL_HEADERS status.h
  SOURCES environment.cpp startup.cpp status.cpp)
