corvid_files(
  HEADERS base.h error_table.h errors.h
  SOURCES base.cpp error_table.cpp)
