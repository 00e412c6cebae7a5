# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS errors.h ansi_codepage.h charset.h convert.h transcoder.h
  # The ICU layer stays private: consumers never see ICU's headers.
  SOURCES ansi_codepage.cpp charset.cpp convert.cpp transcoder.cpp icu_steps.h icu_steps.cpp
          codepage_names.h codepage_names.cpp converter_cache.h converter_cache.cpp)
