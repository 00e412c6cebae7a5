corvid_files(
  HEADERS socket.h
  INTERNAL_HEADERS call.h error.h resolver.h subsystem.h sys.h
  SOURCES error.cpp resolver.cpp socket.cpp subsystem.cpp sys.cpp)
