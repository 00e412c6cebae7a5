corvid_files(
  HEADERS errors.h header_field.h body.h entity.h
  SOURCES body.cpp entity.cpp writer.cpp)
