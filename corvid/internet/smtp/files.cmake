# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS accept_handler.h agent.h errors.h wire.h
  SOURCES accept_handler.cpp agent.cpp authenticate.cpp serve.cpp wire.cpp)
