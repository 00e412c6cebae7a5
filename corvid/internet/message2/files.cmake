corvid_files(
  HEADERS errors.h header_field.h body.h entity.h uue_conversion.h
  SOURCES reader.cpp uue_conversion.cpp)
