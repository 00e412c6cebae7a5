corvid_files(
  HEADERS socket.h
  INTERNAL_HEADERS call.h error.h file.h locale.h resolver.h signals.h status_table.h subsystem.h sys.h
  SOURCES error.cpp file.cpp locale.cpp resolver.cpp signals.cpp socket.cpp status_table.cpp subsystem.cpp sys.cpp)
