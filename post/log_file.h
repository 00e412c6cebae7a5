// SPDX-License-Identifier: MIT
#ifndef CORVID_POST_LOG_FILE_H
#define CORVID_POST_LOG_FILE_H

#include "run.h"

#include <string>

namespace post {

// The installer's log on disk, read whole. Anything but a regular file (a
// FIFO, a directory, a device) counts as a failed read, and the open never
// waits for a writer.
class log_file : public log_source {
public:
    explicit log_file(std::string path) : path(std::move(path)) {}
    read_status read(std::string& bytes) override;

private:
    std::string path;
};

}  // namespace post

#endif
