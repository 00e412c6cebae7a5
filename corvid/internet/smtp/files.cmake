corvid_files(
  HEADERS agent.h errors.h wire.h
  SOURCES agent.cpp authenticate.cpp wire.cpp)
