corvid_files(HEADERS errors.h)
