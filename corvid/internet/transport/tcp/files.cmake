corvid_files(
  HEADERS base.h raw.h
  SOURCES base.cpp raw.cpp)
