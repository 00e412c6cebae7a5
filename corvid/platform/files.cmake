# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS socket.h
  INTERNAL_HEADERS call.h error.h file.h locale.h passed_sockets.h resolver.h signals.h status_table.h subsystem.h sys.h
  SOURCES error.cpp file.cpp locale.cpp passed_sockets.cpp resolver.cpp signals.cpp socket.cpp status_table.cpp subsystem.cpp
    sys.cpp)
