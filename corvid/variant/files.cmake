# SPDX-License-Identifier: MIT
corvid_files(HEADERS variant.h SOURCES variant.cpp)
