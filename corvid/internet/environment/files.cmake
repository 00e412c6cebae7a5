corvid_files(
  HEADERS environment.h errors.h startup.h
  SOURCES environment.cpp startup.cpp)
