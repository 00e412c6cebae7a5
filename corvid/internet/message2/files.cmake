# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS addresses.h errors.h header_field.h body.h entity.h media_types.h message_id.h
  INTERNAL_HEADERS content_type.h text_lines.h uue_conversion.h
  SOURCES addresses.cpp body.cpp content_type.cpp entity.cpp writer.cpp reader.cpp uue_conversion.cpp media_types.cpp
    message_id.cpp)
