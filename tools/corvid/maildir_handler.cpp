#include "maildir_handler.h"

#include "dialogue_stream.h"

#include <corvid/internet/smtp/errors.h>

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
        throw smtp::refused("452 4.5.3 Too many recipients");
    return accept_handler::accept_recipient(address);
}

std::string maildir_handler::entry() const {
    std::string text = peer + ": message from <" + sender + "> to";
    for (const std::string& recipient : recipients) text += " <" + recipient + ">";
    // The size the client is told: the text as it came, without the trace line.
    return text + ", " + std::to_string(size) + " bytes: ";
}

void maildir_handler::begin_message(const std::string& trace_line) {
    size = 0;
    delivery.reset();
    if (!box) return;
    try {
        delivery = std::make_unique<maildir_delivery>(*box);
        delivery->write(trace_line);
        delivery->write("\r\n");
    } catch (const std::exception& e) {
        log_failure(e.what());
        throw;
    }
}

void maildir_handler::message_text(std::string_view text) {
    size += text.size();
    if (!delivery) return;
    try {
        delivery->write(text);
    } catch (const std::exception& e) {
        log_failure(e.what());
        throw;
    }
}

bool maildir_handler::end_message() {
    if (!box) {
        ++delivered_count;
        log_line(entry() + "discarded");
        return true;
    }
    if (!delivery) return false;  // already failed and told
    try {
        const std::string name = delivery->finish();
        delivery.reset();
        ++delivered_count;
        log_line(entry() + "delivered as new/" + name);
        return true;
    } catch (const std::exception& e) {
        log_failure(e.what());
        return false;
    }
}

void maildir_handler::abort_message() { delivery.reset(); }

void maildir_handler::log_failure(const std::string& why) {
    delivery.reset();
    ++failed_count;
    log_line(entry() + "not delivered: " + why);
}

}  // namespace corvid_tool
