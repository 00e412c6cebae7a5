#ifndef CORVID_TOOLS_MAILDIR_H
#define CORVID_TOOLS_MAILDIR_H

#include <string>
#include <vector>

namespace corvid_tool {

// A Maildir folder that takes whole messages. A message is written under
// tmp/, synced to disk and only then renamed into new/, and new/ is synced
// after the rename: once deliver returns, the message survives a crash, and
// a reader never sees part of one. Safe to use from several threads and
// processes at once.
class maildir {
public:
    // Creates folder and its tmp, new and cur as needed (mode 0700); throws
    // corvid::exception naming the folder that cannot be made. host goes
    // into the file names, which must not repeat across machines.
    maildir(std::string folder, const std::string& host);

    // Writes the lines, each followed by LF, as one new message and returns
    // its file name under new/. Any failure throws std::system_error naming
    // the step and leaves no file behind.
    std::string deliver(const std::vector<std::string>& lines) const;

    const std::string& folder() const noexcept { return root; }

private:
    std::string unique_name() const;

    std::string root;
    // The host name with "/" and ":" escaped, which a file name cannot hold
    // or readers take for the flag separator.
    std::string host_part;
};

}  // namespace corvid_tool

#endif
