# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS generic_value_type.h unstructured_value_type.h parametized_value_type.h
          addresses_value_type.h extended_parameter.h
  SOURCES generic_value_type.cpp unstructured_value_type.cpp parametized_value_type.cpp
          addresses_value_type.cpp extended_parameter.cpp)
