corvid_files(
  HEADERS errors.h header_field.h body.h entity.h
  INTERNAL_HEADERS uue_conversion.h
  SOURCES body.cpp entity.cpp writer.cpp reader.cpp uue_conversion.cpp)
