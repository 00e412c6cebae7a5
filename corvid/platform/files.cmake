corvid_files(
  HEADERS call.h error.h resolver.h socket.h subsystem.h sys.h
  SOURCES error.cpp resolver.cpp socket.cpp subsystem.cpp sys.cpp)
