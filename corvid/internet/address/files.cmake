corvid_files(
  HEADERS base.h errors.h ip4.h
  SOURCES ip4.cpp)
