corvid_files(HEADERS variant.h SOURCES variant.cpp)
