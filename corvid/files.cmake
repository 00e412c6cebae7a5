# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS domain_name.h exception.h format.h line_reader.h line_scanner.h line_writer.h locale.h map_text.h
          rfc822_date.h text.h tokens.h
  SOURCES domain_name.cpp exception.cpp format.cpp line_reader.cpp line_scanner.cpp line_writer.cpp locale.cpp
          map_text.cpp rfc822_date.cpp text.cpp tokens.cpp)
