// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_MAILDIR_H
#define CORVID_TOOLS_MAILDIR_H

#include <corvid/platform/file.h>

#include <string>
#include <string_view>

namespace corvid_tool {

class maildir;

// One message on its way into a Maildir, written to its file under tmp/ as
// it arrives, with LF line ends. finish() makes it last and renames it into
// new/; a delivery given up, or destroyed unfinished, leaves no file.
// Failures throw std::system_error naming the step.
class maildir_delivery {
public:
    explicit maildir_delivery(const maildir& box);
    ~maildir_delivery();
    maildir_delivery(const maildir_delivery&) = delete;
    maildir_delivery& operator=(const maildir_delivery&) = delete;

    // Text with CR LF line ends, in pieces of any size; a CR LF split
    // between two pieces is still one line end.
    void write(std::string_view text);
    // Returns the file name under new/.
    std::string finish();

private:
    void flush();
    void remove() noexcept;

    const maildir& box;
    std::string name;
    corvid::platform::unique_file file;
    std::string block;
    bool held_cr = false;  // the last piece ended with a CR
    bool done = false;
};

// A Maildir folder. A message is written under tmp/, synced to disk and
// only then renamed into new/, and new/ is synced after the rename: once
// a delivery finishes, the message survives a crash, and a reader never
// sees part of one. Safe to use from several threads and processes at once.
class maildir {
public:
    // Creates folder and its tmp, new and cur as needed (mode 0700); throws
    // corvid::exception naming the folder that cannot be made. host goes
    // into the file names, which must not repeat across machines. Files
    // left in tmp/ for more than 36 hours (a delivery killed half way) are
    // removed, as the Maildir convention asks.
    maildir(std::string folder, const std::string& host);

    const std::string& folder() const noexcept { return root; }
    std::string unique_name() const;

private:
    std::string root;
    // The host name with "/" and ":" escaped, which a file name cannot hold
    // or readers take for the flag separator.
    std::string host_part;
};

}  // namespace corvid_tool

#endif
