#include "maildir_handler.h"

#include "dialogue_stream.h"

#include <corvid/internet/smtp/errors.h>

#include <cstdint>
#include <cstdio>
#include <exception>

namespace corvid_tool {

namespace smtp = corvid::internet::smtp;

void log_line(const std::string& text) {
    // Client text may be in it: control bytes are shown, never passed on.
    const std::string line = "corvid smtp serve: " + printable(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

maildir_handler::maildir_handler(const maildir* box, unsigned max_recipients, std::string peer)
    : box(box), max_recipients(max_recipients), peer(std::move(peer)) {}

bool maildir_handler::accept_recipient(const std::string& address) {
    if (recipients.size() >= max_recipients && recipients.count(address) == 0)
        throw smtp::refused("452 Too many recipients");
    return accept_handler::accept_recipient(address);
}

bool maildir_handler::accept_message(const std::vector<std::string>& lines) {
    // The size the client is told: the text without the trace line and
    // without line ends.
    std::uint64_t size = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) size += lines[i].size();
    std::string entry = peer + ": message from <" + sender + "> to";
    for (const std::string& recipient : recipients) entry += " <" + recipient + ">";
    entry += ", " + std::to_string(size) + " bytes: ";
    if (box == nullptr) {
        ++delivered_count;
        log_line(entry + "discarded");
        return true;
    }
    try {
        const std::string name = box->deliver(lines);
        ++delivered_count;
        log_line(entry + "delivered as new/" + name);
        return true;
    } catch (const std::exception& e) {
        ++failed_count;
        log_line(entry + "not delivered: " + e.what());
        return false;
    }
}

}  // namespace corvid_tool
