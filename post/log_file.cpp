// SPDX-License-Identifier: MIT
#include "log_file.h"

#include <corvid/platform/file.h>

#include <new>

namespace post {

read_status log_file::read(std::string& bytes) {
    namespace platform = corvid::platform;
    std::error_code ec;
    // Opening without waiting keeps a FIFO without a writer from hanging.
    const platform::unique_file file = platform::open_file(path, platform::open_mode::read_no_wait, ec);
    if (ec) return read_status::not_opened;
    const platform::file_facts facts = platform::facts(file, ec);
    if (ec || !facts.regular) return read_status::failed;
    // The whole 64-bit size; a log too large to hold is a failed read, not a
    // truncated one.
    if (facts.size > bytes.max_size()) return read_status::failed;
    try {
        bytes.resize(static_cast<std::size_t>(facts.size));
    } catch (const std::bad_alloc&) {
        return read_status::failed;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {  // ends at the size or at the end of the file
        const std::size_t got = platform::read_some(file, bytes.data() + done, bytes.size() - done, ec);
        if (ec) return read_status::failed;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return read_status::read;
}

}  // namespace post
