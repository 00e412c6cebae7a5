# SPDX-License-Identifier: MIT
corvid_files(
  HEADERS errors.h bits.h hex.h base64.h uu.h quoted_printable.h url.h md5.h hmac_md5.h stream.h
  SOURCES bits.cpp fast.h fast.cpp fast_avx2.cpp hex.cpp base64.cpp uu.cpp quoted_printable.cpp url.cpp md5.cpp hmac_md5.cpp stream.cpp)
