corvid_files(
  HEADERS exception.h rfc822_date.h
  SOURCES exception.cpp rfc822_date.cpp)
